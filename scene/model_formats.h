// The model formats quarvel-render reads besides .3ds, each into the scene's one model mesh in
// scene coordinates (x to the right, y up, z away from the viewer), so that the fit, the view
// operations and the masks are then exactly as for a .3ds file:
// - STL and PLY are z-up like .3ds: a file point (x, y, z) is the scene point (x, z, y), and each
//   triangle (a, b, c) of the file is added as (c, b, a), keeping its front where it was.
// - OBJ and glTF are y-up and right-handed, seen from their front (+z): a file point (x, y, z) is
//   the scene point (x, y, -z), and each triangle (a, b, c) is added as (c, b, a).
// Every vertex a file lists goes into the mesh's pool, used or not (the fit measures the pool).
// Each reader refuses a file whose counts or offsets do not fit in the file before it allocates
// for them, so its memory stays a small multiple of the file's size; the STL, PLY and OBJ readers
// also refuse a file that would make more vertices and triangles than about one for every 3 of its
// bytes (MeshItemsAllowed), before they are read.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "import_3ds.h"

namespace quarvel {

enum class ModelFormat { Max3ds, Obj, Stl, Ply, Gltf, Glb };

// The format a file name's extension names (.3ds, .obj, .stl, .ply, .gltf, .glb; any case).
std::optional<ModelFormat> FormatOfName(const std::string& fileName);

// The readers. A file one cannot read gets an ErrorText naming what is wrong (its `text` is the
// message, `arg` the file when the message has %s). A cancel (AbortRequested) keeps the faces
// read before it, as for .3ds.
ImportResult ImportSTLFromMemory(Scene& scene, std::span<const uint8_t> file, const Feedback& fb);
ImportResult ImportPLYFromMemory(Scene& scene, std::span<const uint8_t> file, const Feedback& fb);
ImportResult ImportOBJFromMemory(Scene& scene, std::span<const uint8_t> file, const Feedback& fb);
// `baseDir` is where the file's external buffers are looked for (empty: none are read).
ImportResult ImportGLTFFromMemory(Scene& scene, std::span<const uint8_t> file, bool binary,
                                  const std::string& baseDir, const Feedback& fb);

// Reads a file of any of these formats (chosen by its extension, then confirmed by its content)
// into the scene's mesh.
ImportResult ImportModel(Scene& scene, const std::string& fileName, const Feedback& fb);

// LoadModel for any of these formats: rebuilds the scene, imports, fits.
ImportResult LoadAnyModel(Scene& scene, const std::string& fileName, const Feedback& fb);

}  // namespace quarvel
