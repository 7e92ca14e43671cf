#include "output_checks.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "base/file_io.h"

namespace quarvel {

namespace {

// Where `path` leads once a link at its end is followed: the real path of its folder, then the
// name, so that two spellings of a file that does not exist yet compare equal. A path whose
// folder does not exist stays as written.
std::string ResolvedPath(const std::string& path) {
  const std::filesystem::path target = LinkTarget(path);
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  const std::unique_ptr<char, decltype(&std::free)> real(::realpath(folder.c_str(), nullptr),
                                                         &std::free);
  if (!real) return target.string();
  return (std::filesystem::path(real.get()) / target.filename()).string();
}

// Whether writing `a` would replace `b`: the same existing file, or the same place.
bool SamePlace(const std::string& a, const std::string& b) {
  return IsSameFile(a, b) || ResolvedPath(a) == ResolvedPath(b);
}

// The first file the command would write that is the model itself, or an empty text.
std::string OutputThatIsTheModel(const RenderOptions& o) {
  if (!o.Animation()) return SamePlace(o.model, o.output) ? o.output : "";
  if (!o.avi.empty()) return SamePlace(o.model, o.avi) ? o.avi : "";
  for (int i = 0; i < o.anim.frames; ++i) {
    const std::string name = FrameFileName(o.bmpSequence, i, FormatExtension(o.format));
    if (SamePlace(o.model, name)) return name;
  }
  return "";
}

// The sidecar's name when it is the model or the mask's file, or an empty text.
std::string SidecarOverOtherFile(const RenderOptions& o) {
  if (o.sidecar.empty()) return "";
  return SamePlace(o.sidecar, o.output) || SamePlace(o.sidecar, o.model) ? o.sidecar : "";
}

// Whether `path` names a folder: it ends in a slash, or a folder (or a link to one) is there.
bool NamesFolder(const std::string& path) {
  std::error_code error;
  return path.ends_with('/') || std::filesystem::is_directory(path, error);
}

// An output to be written as a file whose name is a folder's: the option, the name, and a file
// name that would do in that folder.
struct FolderOutput {
  std::string option, name, example;
};

std::optional<FolderOutput> FileOutputThatIsAFolder(const RenderOptions& o) {
  if (!o.Animation() && !o.camera.ManyViews() && NamesFolder(o.output))
    return FolderOutput{"-o", o.output, "mask" + FormatExtension(o.format)};
  if (!o.sidecar.empty() && NamesFolder(o.sidecar))
    return FolderOutput{"--sidecar", o.sidecar, "mask.json"};
  if (!o.avi.empty() && NamesFolder(o.avi)) return FolderOutput{"--avi", o.avi, "mask.avi"};
  return std::nullopt;
}

// Whether `name` ends in `extension`, in any case.
bool EndsIn(const std::string& name, const std::string& extension) {
  return name.size() >= extension.size() &&
         ::strcasecmp(name.c_str() + name.size() - extension.size(), extension.c_str()) == 0;
}

}  // namespace

void WarnOfMisnamedOutput(const RenderOptions& o) {
  // The frames of a sequence are named with their format's extension whatever the first name;
  // a format given by --format is the one asked for, whatever the name; views fill a folder.
  const bool avi = !o.avi.empty();
  if (!o.bmpSequence.empty() || (!avi && o.formatGiven) || o.camera.ManyViews()) return;
  const std::string& name = avi ? o.avi : o.output;
  const std::string format = avi ? "avi" : FormatName(o.format);
  const std::string extension = avi ? ".avi" : FormatExtension(o.format);
  if (!EndsIn(name, extension))
    std::fprintf(stderr,
                 "quarvel-render: %s: warning: written in the %s format, but the name does not "
                 "end in %s\n",
                 name.c_str(), format.c_str(), extension.c_str());
}

bool OutputsRefused(const RenderOptions& o) {
  if (const auto folder = FileOutputThatIsAFolder(o)) {
    const std::filesystem::path example = std::filesystem::path(folder->name) / folder->example;
    std::fprintf(stderr,
                 "quarvel-render: %s: %s names a folder, not a file; name a file, such as %s\n",
                 folder->name.c_str(), folder->option.c_str(), example.lexically_normal().c_str());
    return true;
  }
  if (!o.bmpSequence.empty() &&
      !FrameNamesFit(o.bmpSequence, o.anim.frames, FormatExtension(o.format))) {
    std::fprintf(stderr,
                 "quarvel-render: %s: the frames' file names would be longer than 255 bytes; "
                 "choose a shorter name\n",
                 o.bmpSequence.c_str());
    return true;
  }
  if (const std::string same = OutputThatIsTheModel(o); !same.empty()) {
    const char* option = !o.avi.empty()           ? "--avi"
                         : !o.bmpSequence.empty() ? "--bmp-sequence"
                                                  : "-o";
    std::fprintf(stderr,
                 "quarvel-render: %s: the output file is the model itself; name another with %s\n",
                 same.c_str(), option);
    return true;
  }
  if (const std::string sidecar = SidecarOverOtherFile(o); !sidecar.empty()) {
    std::fprintf(stderr,
                 "quarvel-render: %s: the sidecar would replace the model or the mask; name "
                 "another file with --sidecar\n",
                 sidecar.c_str());
    return true;
  }
  return false;
}

}  // namespace quarvel
