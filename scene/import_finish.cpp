#include "import_finish.h"

#include <string>

namespace quarvel {

void FinishImport(Scene& scene, uint32_t faces, const Feedback& fb) {
  fb.Status(0, std::to_string(faces) + fb.Tr(" faces imported"));
  fb.Status(2, "");
  scene.SetColor(scene.ObjColor);
  scene.ModelMesh->SetMaterial(SceneMaterial());
  fb.Progress(0);
}

}  // namespace quarvel
