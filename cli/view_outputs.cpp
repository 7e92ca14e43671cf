#include "view_outputs.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>

#include "base/file_io.h"
#include "render/exr_file.h"
#include "render/normal_files.h"
#include "render/pfm_file.h"
#include "render/png_file.h"
#include "render/save_file.h"
#include "transforms_json.h"

namespace quarvel {

namespace {

// Makes the folder in `folder` unless it is there already.
ErrorText MakeViewFolder(const OutFolder& folder, const std::string& path) {
  const int error = MakeFolder(folder, path);
  if (error == 0) return {};
  return {ErrorKind::File, "Cannot create the folder %s", path, SaveErrorReason(folder, error)};
}

// The names of view i's files, relative to the folder.
ViewFiles FilesOf(const ViewSet& views, size_t i) {
  char number[16];
  std::snprintf(number, sizeof number, "%04zu", i);
  const bool exr = views.depthFormat == OutputFormat::Exr;
  return {"depth/" + std::string(number) + (exr ? ".exr" : ".pfm"),
          views.normals ? "normals/" + std::string(number) + (exr ? ".exr" : ".png") : "",
          views.mask ? "mask/" + std::string(number) + ".png" : ""};
}

// Coverage as 255 where the depth render saw a face, 0 elsewhere.
MaskImage Coverage(const DepthImage& depth) {
  MaskImage mask;
  mask.SetSize(depth.width, depth.height);
  for (int r = 0; r < depth.height; ++r)
    for (int c = 0; c < depth.width; ++c)
      mask.Row(r)[c] = depth.Row(r)[c] == kNoDepth ? 0 : 255;
  return mask;
}

// Renders view i and writes its files.
ErrorText WriteView(const Scene& scene, const Affine& fileFromMesh, const ViewSet& views, size_t i,
                    const OutFolder& folder) {
  PerspectiveRequest request;
  request.width = views.width;
  request.height = views.height;
  request.k = views.k;
  request.depth = views.depth;
  request.normals = views.normals;
  request.pose = WorldToCamera(views.cameraToWorld[i]).After(fileFromMesh).AsPose();
  PerspectiveImages images;
  RenderPerspective(*scene.ModelMesh, request, images);
  const ViewFiles files = FilesOf(views, i);
  const bool exr = views.depthFormat == OutputFormat::Exr;
  ErrorText error = SaveFileBytes(folder, folder.path + "/" + files.depth,
                                  {exr ? ExrBytes(images.depth) : PfmBytes(images.depth)});
  if (error.empty() && views.normals)
    error =
        SaveFileBytes(folder, folder.path + "/" + files.normals,
                      {exr ? NormalsExrBytes(images.normals) : NormalsPngBytes(images.normals)});
  if (error.empty() && views.mask)
    error =
        SaveFileBytes(folder, folder.path + "/" + files.mask, {PngBytes(Coverage(images.depth))});
  return error;
}

}  // namespace

ErrorText WriteViews(const Scene& scene, const Affine& meshFromFile, const ViewSet& views,
                     const std::string& model, const OutFolder& folder, const Feedback& fb) {
  std::vector<std::string> folders{folder.path, folder.path + "/depth"};
  if (views.normals) folders.push_back(folder.path + "/normals");
  if (views.mask) folders.push_back(folder.path + "/mask");
  for (const std::string& f : folders)
    if (ErrorText e = MakeViewFolder(folder, f); !e.empty()) return e;

  // The views are drawn on threads, each taking the next view not yet taken; the first error, or
  // a stop asked for by a signal, ends them all.
  const size_t count = views.cameraToWorld.size();
  std::atomic<size_t> next{0};
  std::mutex failed;
  ErrorText firstError;
  std::atomic<bool> stop{false};
  const Affine fileFromMesh = meshFromFile.Inverse();
  auto work = [&] {
    for (size_t i; !stop && AbortRequested == 0 && (i = next++) < count;) {
      ErrorText error;
      // What a view throws ends the views with its reason; it must not leave its thread.
      try {
        error = WriteView(scene, fileFromMesh, views, i, folder);
      } catch (const RenderStopped&) {
        break;  // the view is not written; AbortRequested, set with the stop, ends the others
      } catch (const std::bad_alloc&) {
        error = {ErrorKind::Failure, "out of memory", folder.path};
      } catch (const std::exception& e) {
        error = {ErrorKind::Failure, e.what(), folder.path};
      }
      if (!error.empty()) {
        const std::lock_guard lock(failed);
        if (firstError.empty()) firstError = error;
        stop = true;
      }
    }
  };
  const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
  const size_t threads =
      std::min<size_t>(count, views.threads > 0 ? size_t(views.threads) : processors);
  std::vector<std::thread> pool;
  for (size_t t = 1; t < threads; ++t)
    pool.emplace_back(work);
  work();
  for (std::thread& t : pool)
    t.join();
  fb.Progress(100);
  if (!firstError.empty() || AbortRequested != 0) return firstError;  // no transforms.json

  TransformsFacts facts{views.width, views.height,        views.k, views.depth,
                        model,       views.cameraToWorld, {}};
  for (size_t i = 0; i < count; ++i)
    facts.files.push_back(FilesOf(views, i));
  const std::string json = TransformsJson(facts);
  return SaveFileText(folder, folder.path + "/transforms.json", json);
}

}  // namespace quarvel
