// The settings fuzzer: arbitrary bytes as a settings or language file, read, written and looked
// up. A value just written must read back, and nothing may crash or run away.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/localizer.h"
#include "settings/settings_file.h"

namespace {

// The fuzzer's own settings file: made under a name no other file has in the temporary folder,
// and removed when the fuzzer ends.
std::string FuzzFilePath() {
  const char* tmp = std::getenv("TMPDIR");
  std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/quarvel-ini-fuzz-XXXXXX";
  const int fd = ::mkstemp(path.data());
  if (fd < 0) std::abort();
  ::close(fd);
  static std::string removed;
  removed = path;
  std::atexit([] { ::unlink(removed.c_str()); });
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = FuzzFilePath();
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  quarvel::SettingsFile settings(path);
  settings.ReadInteger("Props", "PicWidth", 640);
  settings.ReadBool("Props", "Hints", true);
  const std::string name = settings.ReadString("Recent", "Item_0", "");
  quarvel::TLocalizer localizer(path);
  localizer.TranslateText("Line one\n\rLine two = x");

  const std::string value = " value with = and ' quotes' ";
  settings.WriteString("props", "PicWidth", value);
  if (settings.ReadString("Props", "picwidth", "") != value) std::abort();
  settings.WriteInteger("New", "k", -7);
  if (settings.ReadInteger("new", "K", 0) != -7) std::abort();
  settings.DeleteKey("Props", "Hints");
  if (settings.ReadString("Props", "Hints", "gone") != "gone") std::abort();
  settings.EraseSection("Recent");
  if (settings.ReadString("Recent", "Item_0", "gone") != "gone") std::abort();
  return 0;
}
