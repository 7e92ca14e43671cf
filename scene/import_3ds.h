// Reading 3D Studio .3ds files into the scene's mesh: geometry only (vertex lists and face lists
// of the triangle meshes of named objects), all meshes into the one model mesh in file order.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "feedback.h"
#include "scene.h"

namespace quarvel {

// The outcome of a load: the number of faces added, or what went wrong.
struct ImportResult {
  bool ok = false;
  uint32_t faces = 0;
  ErrorText error;
};

// Whether the file name ends in ".3ds" (any case). Returns the error text, empty when it does.
std::string IsSupportedFile(const std::string& fileName);

// Reads a whole .3ds file, or the same bytes from memory, into `scene.ModelMesh`. Clears
// `AbortRequested` when it begins and ends; a cancel keeps the faces read before it.
ImportResult Import3DS(Scene& scene, const std::string& fileName, const Feedback& fb);
ImportResult Import3DSFromMemory(Scene& scene, std::span<const uint8_t> file, const Feedback& fb);

// Rebuilds the scene, imports the file and fits the model into view. On success the scene
// remembers the model frame's transform and depth at rest; on failure it is left empty.
ImportResult LoadModel(Scene& scene, const std::string& fileName, const Feedback& fb);

}  // namespace quarvel
