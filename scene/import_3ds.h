// Reading 3D Studio .3ds files into the scene's mesh: geometry only (vertex lists and face lists
// of the triangle meshes of named objects), all meshes into the one model mesh in file order.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "base/feedback.h"
#include "import_result.h"
#include "scene.h"

namespace quarvel {

// Whether the file name ends in ".3ds" (any case). Returns the error text, empty when it does.
std::string IsSupportedFile(const std::string& fileName);

// Reads a whole .3ds file, or the same bytes from memory, into `scene.ModelMesh`. Clears
// `AbortRequested` when it begins and ends; a cancel keeps the faces read before it.
// "Error parsing 3DS file": the main chunk's length is not the file's size (for a file, checked
// on its first header before the file is read), or the vertex and face lists would read more
// bytes in all than the file holds (lists that overlap). "Cannot open file %s": the error's
// reason is the system's, or "Not a regular file" for a folder, a FIFO or a device, which are
// refused without waiting.
ImportResult Import3DS(Scene& scene, const std::string& fileName, const Feedback& fb);
ImportResult Import3DSFromMemory(Scene& scene, std::span<const uint8_t> file, const Feedback& fb);

// Rebuilds the scene, imports the file and fits the model into view. On success the scene
// remembers the model frame's transform and depth at rest; on failure it is left empty.
ImportResult LoadModel(Scene& scene, const std::string& fileName, const Feedback& fb);
// The same with any reader: `import` fills the freshly built scene's mesh.
ImportResult LoadModelWith(Scene& scene, const Feedback& fb,
                           const std::function<ImportResult(Scene&)>& import);

}  // namespace quarvel
