#include "fixtures.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quarvel::test {

std::vector<uint8_t> SmallestModel() {
  return Write3DS({{"Tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}}});
}

ModelObject Triangles(const std::string& name, int faces) {
  ModelObject o{name, {}, {}};
  for (int i = 0; i < faces; ++i) {
    const float x = float(i % 10), z = float(i / 10);
    const auto base = static_cast<uint16_t>(o.vertices.size());
    o.vertices.insert(o.vertices.end(), {{x, 0, z}, {x + 0.8f, 0.3f, z}, {x, 0.5f, z + 0.8f}});
    o.faces.push_back({base, uint16_t(base + 1), uint16_t(base + 2)});
  }
  return o;
}

ScratchDir::ScratchDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "quarvel-test-XXXXXX").string();
  if (!::mkdtemp(templ.data())) throw std::runtime_error("cannot make a scratch folder");
  dir_ = templ;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
  std::filesystem::remove_all(dir_, ec);
}

std::string ScratchDir::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  const std::string path = Path(name);
  if (!SaveBytes(path, bytes)) throw std::runtime_error("cannot write " + path);
  return path;
}

ImportResult LoadBytes(Scene& scene, const std::vector<uint8_t>& bytes, const Feedback& fb) {
  ScratchDir dir;
  return LoadModel(scene, dir.Write("model.3ds", bytes), fb);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace quarvel::test
