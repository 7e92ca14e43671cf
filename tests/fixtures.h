// Models built in code for the tests, and a scratch folder that cleans up after itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "samples/write_3ds.h"
#include "scene/feedback.h"
#include "scene/import_3ds.h"

namespace quarvel::test {

// The smallest complete model: one triangle (0,0,0), (1,0,0), (0,1,0) in an object "Tri",
// 88 bytes.
std::vector<uint8_t> SmallestModel();

// An object of `faces` separate triangles, each tilted so it is never seen edge-on.
ModelObject Triangles(const std::string& name, int faces);

// A fresh folder under the system's temporary folder, removed with its content at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::filesystem::path dir_;
};

// Loads model bytes through a file, as the program does, into `scene`.
ImportResult LoadBytes(Scene& scene, const std::vector<uint8_t>& bytes,
                       const Feedback& fb = Feedback{});

std::vector<uint8_t> ReadFile(const std::string& path);

}  // namespace quarvel::test
