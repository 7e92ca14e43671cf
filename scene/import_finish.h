// The end of a model import that the readers of every format share: the face count in the status
// bar, the hint cleared, the scene's colour and material on the mesh, the progress bar back at 0;
// the run of the readers that refuse a file by throwing; and the bound on the mesh a file makes.
#pragma once

#include <cstdint>
#include <new>
#include <string>

#include "base/feedback.h"
#include "import_3ds.h"
#include "scene.h"

namespace quarvel {

// A file makes at most one vertex or triangle (12 bytes each in the mesh) for every 3 of its
// bytes, and 4096 of them whatever its size, so that its mesh takes at most four times the file's
// size. Records of 3 bytes or more keep to it by themselves; a polygon fanned from a long list of
// short indices does not, and is refused before anything is allocated for it.
uint64_t MeshItemsAllowed(uint64_t fileBytes);
// The refusal of a file that would make more: "more vertices and triangles than the N a file of
// B bytes may make".
std::string MeshTooLarge(uint64_t fileBytes);

void FinishImport(Scene& scene, uint32_t faces, const Feedback& fb);

// Runs one of our own readers: its Run() reads the file into the mesh, or throws `Failure`, whose
// `detail` says what is wrong. AbortRequested is cleared before and after; a refused file gets
// "Error parsing <format> file" with the detail as its reason (so the fixed text can be
// translated and the detail shown after it), the status and the progress cleared.
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
    result.error = {ErrorKind::Import, "Error parsing " + format + " file", "", failure.detail};
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
