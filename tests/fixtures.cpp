#include "fixtures.h"
#include "base/file_io.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quarvel::test {

Scene Unfitted(const std::vector<Vec3>& v, const std::vector<FaceIndices>& f) {
  Scene scene;
  scene.ModelMesh->AddFaces(v, f);
  scene.ModelTransform = scene.ModelFrame->GetTransform();
  scene.ReferenceDepth = scene.ModelTransform.m[3][2];
  return scene;
}

std::vector<uint32_t> Bits(const std::vector<float>& v) {
  std::vector<uint32_t> bits(v.size());
  std::transform(v.begin(), v.end(), bits.begin(),
                 [](float z) { return std::bit_cast<uint32_t>(z); });
  return bits;
}

std::vector<int> MaskValues(const MaskImage& mask) {
  std::vector<int> v;
  for (int r = 0; r < mask.Height(); ++r)
    v.insert(v.end(), mask.Row(r), mask.Row(r) + mask.Width());
  return v;
}

std::string ReaderError(MemoryReader read, const std::vector<uint8_t>& bytes) {
  Scene scene;
  const ImportResult r = read(scene, bytes, {});
  EXPECT_EQ(scene.ModelMesh->vertices().size(), 0u) << "a failed load adds nothing";
  EXPECT_EQ(r.faces, 0u);
  return r.ok ? "ok" : r.error.text + ": " + r.error.reason;
}

std::string GuardedReaderError(MemoryReader read, const std::vector<uint8_t>& bytes) {
  return InChild(
      [&] {
        const auto start = std::chrono::steady_clock::now();
        const uint64_t before = MappedBytes();
        Scene scene;
        const ImportResult r = read(scene, bytes, {});
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return (r.ok ? "ok" : r.error.text + ": " + r.error.reason) +
               (seconds < 1 ? " quick" : " slow") +
               (MappedBytes() - before < (uint64_t(16) << 20) ? " small" : " large");
      },
      uint64_t(64) << 20);
}

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

Environment::~Environment() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->second)
      ::setenv(it->first.c_str(), it->second->c_str(), 1);
    else
      ::unsetenv(it->first.c_str());
  }
}

void Environment::Set(const std::string& name, const std::optional<std::string>& value) {
  const char* old = std::getenv(name.c_str());
  saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
  if (value)
    ::setenv(name.c_str(), value->c_str(), 1);
  else
    ::unsetenv(name.c_str());
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

uint64_t MappedBytes() {
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  statm >> pages;
  return pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

std::string InChild(const std::function<std::string()>& body, uint64_t extraAddressSpace,
                    unsigned seconds) {
  int fds[2];
  if (::pipe(fds) != 0) return "no pipe";
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return "no fork";
  if (pid == 0) {
    ::close(fds[0]);
    ::alarm(seconds);
    if (extraAddressSpace != 0) {
      const rlimit limit{MappedBytes() + extraAddressSpace, MappedBytes() + extraAddressSpace};
      ::setrlimit(RLIMIT_AS, &limit);
    }
    std::string out;
    try {
      out = body();
    } catch (const std::bad_alloc&) {
      out = "out of memory";
    }
    for (size_t done = 0; done < out.size();) {
      const ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno != EINTR) break;
    if (n > 0) out.append(buffer, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) return "hung";
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  if (WEXITSTATUS(status) != 0) return "exit code " + std::to_string(WEXITSTATUS(status));
  return out;
}

int RunInDir(const ScratchDir& dir, const std::string& command) {
  const int status = std::system(
      ("cd '" + dir.Path("") + "' && R='" + QUARVEL_RENDER_EXE + "' && " + command + " 2>err.txt")
          .c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HeaderNumber(const std::vector<uint8_t>& b, size_t& at, int& out) {
  while (at < b.size() && std::isspace(b[at]))
    ++at;
  if (at >= b.size() || !std::isdigit(b[at])) return false;
  long long v = 0;
  while (at < b.size() && std::isdigit(b[at]) && v < 1000000)
    v = v * 10 + (b[at++] - '0');
  out = int(v);
  return v < 1000000;
}

std::optional<DepthImage> ReadPfm(const std::vector<uint8_t>& b) {
  DepthImage d;
  size_t at = 2;
  if (b.size() < 3 || b[0] != 'P' || b[1] != 'f' || !HeaderNumber(b, at, d.width) ||
      !HeaderNumber(b, at, d.height))
    return std::nullopt;
  const std::string scale = "\n-1.0\n";
  if (b.size() - at < scale.size() || !std::equal(scale.begin(), scale.end(), b.begin() + long(at)))
    return std::nullopt;
  at += scale.size();
  if (b.size() - at != size_t(d.width) * size_t(d.height) * 4) return std::nullopt;
  d.depth.resize(size_t(d.width) * size_t(d.height));
  for (int r = d.height - 1; r >= 0; --r)
    for (int c = 0; c < d.width; ++c, at += 4)
      d.depth[size_t(r) * size_t(d.width) + size_t(c)] = LeFloat(&b[at]);
  return d;
}

TriangleMesh Box(Vec3 lo, Vec3 hi) {
  TriangleMesh box{{},
                   {{0, 2, 3},
                    {0, 3, 1},
                    {4, 5, 7},
                    {4, 7, 6},
                    {0, 1, 5},
                    {0, 5, 4},
                    {2, 6, 7},
                    {2, 7, 3},
                    {0, 4, 6},
                    {0, 6, 2},
                    {1, 3, 7},
                    {1, 7, 5}}};
  for (int i = 0; i < 8; ++i)
    box.vertices.push_back({i & 4 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 1 ? hi.z : lo.z});
  return box;
}

}  // namespace quarvel::test
