// Models built in code for the tests, and a scratch folder that cleans up after itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/feedback.h"
#include "render/depth_image.h"
#include "render/mask_image.h"
#include "samples/shapes.h"
#include "samples/write_3ds.h"
#include "scene/import_3ds.h"

namespace quarvel::test {

// The smallest complete model: one triangle (0,0,0), (1,0,0), (0,1,0) in an object "Tri",
// 88 bytes.
std::vector<uint8_t> SmallestModel();

// An object of `faces` separate triangles, each tilted so it is never seen edge-on.
ModelObject Triangles(const std::string& name, int faces);

// A scene of the faces as they are, in the model frame's coordinates: not fitted.
Scene Unfitted(const std::vector<Vec3>& v, const std::vector<FaceIndices>& f);

// Floats as their bits, so that a comparison of them is bit for bit.
std::vector<uint32_t> Bits(const std::vector<float>& v);

// A mask's pixels, top row first, without the row ends.
std::vector<int> MaskValues(const MaskImage& mask);

// What a model reader says of `bytes`: "ok" when it takes them, else "<error text>: <reason>".
// A file it refuses must add nothing to the scene.
using MemoryReader = ImportResult (*)(Scene&, std::span<const uint8_t>, const Feedback&);
std::string ReaderError(MemoryReader read, const std::vector<uint8_t>& bytes);

// The same in a child that may map only 64 MiB more (see InChild), followed by whether the read
// was quick (under a second) and mapped little (under 16 MiB): "<what it said> quick small".
std::string GuardedReaderError(MemoryReader read, const std::vector<uint8_t>& bytes);

// Environment variables set for a test and put back as they were when it ends.
class Environment {
 public:
  Environment() = default;
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;
  ~Environment();
  // Sets `name` to `value`, or unsets it for no value.
  void Set(const std::string& name, const std::optional<std::string>& value);

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Records what an import reports through its feedback, field by field.
struct StatusLog {
  std::vector<std::pair<int, std::string>> texts;
  std::vector<int> percents;
  Feedback feedback() {
    Feedback fb;
    fb.status = [this](int field, const std::string& t) { texts.emplace_back(field, t); };
    fb.progress = [this](int p) { percents.push_back(p); };
    return fb;
  }
  bool Showed(int field, const std::string& text) const {
    for (const auto& [f, t] : texts)
      if (f == field && t == text) return true;
    return false;
  }
};

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

// The bytes of address space the process has mapped now.
uint64_t MappedBytes();

// Runs `body` in a forked child and gives what it returned, or how the child failed: "hung"
// when the hang guard's alarm ended it after `seconds`, "out of memory", or the signal or exit
// code. With `extraAddressSpace`, the child may map at most that many bytes more than it has,
// so that a large allocation fails there instead of taking the machine's memory.
std::string InChild(const std::function<std::string()>& body, uint64_t extraAddressSpace = 0,
                    unsigned seconds = 20);

// Runs a shell command in `dir`, with $R naming quarvel-render and standard error going to
// err.txt there, and gives its exit code (-1 when it did not exit by itself).
int RunInDir(const ScratchDir& dir, const std::string& command);

// Reads a whole number of a netpbm header at `at`, after blanks; false when there is none.
bool HeaderNumber(const std::vector<uint8_t>& b, size_t& at, int& out);

// A PFM file's floats, top row first.
std::optional<DepthImage> ReadPfm(const std::vector<uint8_t>& b);

// A box from `lo` to `hi`, its faces turned outwards, z up as .3ds files have it.
TriangleMesh Box(Vec3 lo, Vec3 hi);

}  // namespace quarvel::test
