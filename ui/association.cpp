#include "association.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>

#include "base/file_io.h"
#include "desktop_entry.h"
#include "mime_apps.h"
#include "settings/text_file.h"

extern char** environ;

namespace quarvel {

namespace {

namespace fs = std::filesystem;

// No file we read here is anywhere near these sizes; a larger one is not what it claims to be.
constexpr uint64_t kMaxListSize = 1 << 20;
constexpr uint64_t kMaxGlobsSize = 16 << 20;

constexpr std::string_view kMimePackage =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
    "  <mime-type type=\"image/x-3ds\">\n"
    "    <comment>3D Studio model</comment>\n"
    "    <glob pattern=\"*.3ds\"/>\n"
    "  </mime-type>\n"
    "</mime-info>\n";

std::string AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? value : "";
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

bool IsUsable(const AssociationPaths& p) {
  return !p.dataHome.empty() && p.dataHome.front() == '/' && !p.configHome.empty() &&
         p.configHome.front() == '/' && !fs::path(p.executable).filename().empty();
}

// A file's text, empty when it does not exist; none when it cannot be read or is larger than
// `limit`.
std::optional<std::string> ReadText(const std::string& path, uint64_t limit) {
  TextFile file = ReadTextFile(path, limit);
  if (!file.read) return std::nullopt;
  return std::move(file.text);
}

// Writes a file whole; the error names it with the system's reason.
ErrorText WriteText(const std::string& path, std::string_view text) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  const ReplaceStatus s = ReplaceFile(path, {bytes});
  if (s.result == ReplaceResult::Ok) return {};
  return {ErrorKind::File, "Unable to write to %s", path, ErrorReason(s.error)};
}

// Why the user's mimeapps.list could not be read.
ErrorText Unreadable(const AssociationPaths& p, const TextFile& list) {
  return {ErrorKind::File, "Cannot open file %s", p.MimeAppsList(), list.reason};
}

// A desktop file ID that names a file in an applications folder, never one outside it.
bool IsPlainDesktopId(const std::string& id) {
  return id.size() > 8 && id.ends_with(".desktop") && id.front() != '.' &&
         id.find('/') == std::string::npos;
}

// The desktop file of the default application for the model type: that of the first entry of
// the user's mimeapps.list for it whose file is found, in the user's applications folder before
// the system's.
std::optional<std::string> FindDefault(const AssociationPaths& p, const std::string& list) {
  for (const std::string& id : DefaultEntries(list, kModelMimeType)) {
    if (!IsPlainDesktopId(id)) continue;
    std::vector<std::string> dirs = {p.dataHome};
    dirs.insert(dirs.end(), p.dataDirs.begin(), p.dataDirs.end());
    for (const std::string& dir : dirs) {
      const std::string path = dir + "/applications/" + id;
      std::error_code ec;
      if (fs::is_regular_file(path, ec)) return path;
    }
  }
  return std::nullopt;
}

// Whether an Exec line starts this program: it contains the executable's file name, in any case.
bool NamesProgram(const AssociationPaths& p, const std::string& exec) {
  return LowerAscii(exec).find(LowerAscii(fs::path(p.executable).filename().string())) !=
         std::string::npos;
}

// The default application's Exec line, when the list names one whose desktop file has one.
std::optional<std::string> FindDefaultExec(const AssociationPaths& p, const std::string& list) {
  const auto path = FindDefault(p, list);
  if (!path) return std::nullopt;
  const auto text = ReadText(*path, kMaxListSize);
  if (!text) return std::nullopt;
  return DesktopExec(*text);
}

// Whether one of the MIME databases maps *.3ds to the model type.
bool KnowsModelType(const AssociationPaths& p) {
  std::vector<std::string> dirs = {p.dataHome};
  dirs.insert(dirs.end(), p.dataDirs.begin(), p.dataDirs.end());
  for (const std::string& dir : dirs) {
    const auto globs = ReadText(dir + "/mime/globs2", kMaxGlobsSize);
    if (!globs) continue;
    // Lines of "weight:type:glob", with optional flags after the glob.
    std::string_view rest = *globs;
    while (!rest.empty()) {
      const size_t nl = rest.find('\n');
      std::string_view line = rest.substr(0, nl);
      rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
      const size_t a = line.find(':');
      if (a == std::string_view::npos) continue;
      line.remove_prefix(a + 1);
      const size_t b = line.find(':');
      if (b == std::string_view::npos) continue;
      const std::string type = LowerAscii(std::string(line.substr(0, b)));
      const std::string glob =
          LowerAscii(std::string(line.substr(b + 1, line.find(':', b + 1) - b - 1)));
      if (type == kModelMimeType && glob == "*.3ds") return true;
    }
  }
  return false;
}

// Runs a program found on the PATH with its output discarded; true when it exits with 0.
bool RunQuietly(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Adds the model type to the user's MIME database where no database knows it.
void EnsureModelType(const AssociationPaths& p) {
  if (KnowsModelType(p)) return;
  const std::string mime = p.dataHome + "/mime";
  if (WriteText(mime + "/packages/quarvel-3ds.xml", kMimePackage).empty())
    RunQuietly({"update-mime-database", mime});
}

}  // namespace

AssociationPaths AssociationPaths::ForUser(const std::string& executable) {
  AssociationPaths p;
  const std::string home = AbsoluteEnv("HOME");
  p.dataHome = AbsoluteEnv("XDG_DATA_HOME");
  if (p.dataHome.empty() && !home.empty()) p.dataHome = home + "/.local/share";
  p.configHome = AbsoluteEnv("XDG_CONFIG_HOME");
  if (p.configHome.empty() && !home.empty()) p.configHome = home + "/.config";
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  std::string_view rest = dirs && dirs[0] ? dirs : "/usr/local/share:/usr/share";
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    if (!dir.empty() && dir.front() == '/') p.dataDirs.emplace_back(dir);
    rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
  }
  p.executable = executable;
  return p;
}

bool IsAssociated(const AssociationPaths& paths) {
  if (!IsUsable(paths)) return false;
  const auto list = ReadText(paths.MimeAppsList(), kMaxListSize);
  if (!list) return false;
  const auto exec = FindDefaultExec(paths, *list);
  return exec && NamesProgram(paths, *exec);
}

AssociationResult SetAssociation(const AssociationPaths& paths) {
  if (!IsUsable(paths)) return {};
  const auto entry = ProgramDesktopEntry(paths.executable, kModelMimeType);
  if (!entry) return {};
  const TextFile list = ReadTextFile(paths.MimeAppsList(), kMaxListSize);
  if (!list.read) return {false, Unreadable(paths, list)};
  EnsureModelType(paths);
  if (ErrorText error = WriteText(paths.DesktopFile(), *entry); !error.empty())
    return {false, error};
  const std::string updated = WithDefault(list.text, kModelMimeType, kDesktopFileName);
  if (updated == list.text) return {true, {}};
  ErrorText error = WriteText(paths.MimeAppsList(), updated);
  return {error.empty(), error};
}

AssociationResult RemoveAssociation(const AssociationPaths& paths) {
  if (!IsUsable(paths)) return {};
  const TextFile list = ReadTextFile(paths.MimeAppsList(), kMaxListSize);
  if (!list.read) return {false, Unreadable(paths, list)};
  const std::string updated = WithoutDefault(list.text, kModelMimeType, kDesktopFileName);
  if (updated == list.text) return {};  // ours is not among the defaults
  if (ErrorText error = WriteText(paths.MimeAppsList(), updated); !error.empty())
    return {false, error};
  std::error_code ec;
  fs::remove(paths.DesktopFile(), ec);
  return {true, {}};
}

}  // namespace quarvel
