#include "import_finish.h"

#include <algorithm>
#include <string>

namespace quarvel {

namespace {

constexpr uint64_t kFileBytesPerItem = 3;
// What the smallest files may make all the same (48 KiB of mesh), so that a short file with one
// large polygon of repeated corners still loads.
constexpr uint64_t kMinItems = 4096;
// Pool indices and face counts are 32-bit.
constexpr uint64_t kMaxItems = 0xFFFFFFFFull;

}  // namespace

uint64_t MeshItemsAllowed(uint64_t fileBytes) {
  return std::min(std::max(fileBytes / kFileBytesPerItem, kMinItems), kMaxItems);
}

std::string MeshTooLarge(uint64_t fileBytes) {
  return "more vertices and triangles than the " + std::to_string(MeshItemsAllowed(fileBytes)) +
         " a file of " + std::to_string(fileBytes) + " bytes may make";
}

void FinishImport(Scene& scene, uint32_t faces, const Feedback& fb) {
  fb.Status(0, std::to_string(faces) + fb.Tr(" faces imported"));
  fb.Status(2, "");
  scene.SetColor(scene.ObjColor);
  scene.ModelMesh->SetMaterial(SceneMaterial());
  fb.Progress(0);
}

}  // namespace quarvel
