// The end of a model import that the readers of every format share: the face count in the status
// bar, the hint cleared, the scene's colour and material on the mesh, the progress bar back at 0;
// and the run of the readers that refuse a file by throwing.
#pragma once

#include <cstdint>
#include <new>
#include <string>

#include "feedback.h"
#include "import_3ds.h"
#include "scene.h"

namespace quarvel {

void FinishImport(Scene& scene, uint32_t faces, const Feedback& fb);

// Runs one of our own readers: its Run() reads the file into the mesh, or throws `Failure`, whose
// `detail` says what is wrong. AbortRequested is cleared before and after; a refused file gets
// "Error parsing <format> file: <detail>", the status and the progress cleared.
template <typename Failure, typename Reader>
ImportResult RunReader(Reader& reader, Scene& scene, const Feedback& fb,
                       const std::string& format) {
  AbortRequested = 0;
  ImportResult result;
  try {
    reader.Run();
    result.ok = true;
    FinishImport(scene, reader.faces(), fb);
  } catch (const Failure& failure) {
    result.error = {"Error parsing " + format + " file: " + failure.detail, ""};
  } catch (const std::bad_alloc&) {
    AbortRequested = 0;
    throw;
  }
  if (!result.ok) {
    fb.Status(2, "");
    fb.Progress(0);
  }
  result.faces = reader.faces();
  AbortRequested = 0;
  return result;
}

}  // namespace quarvel
