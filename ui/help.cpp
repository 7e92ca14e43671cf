#include "help.h"

#include <filesystem>
#include <vector>

#include "settings/locations.h"

namespace quarvel {

namespace {

bool EndsWithNoCase(std::string_view text, std::string_view end) {
  if (text.size() < end.size()) return false;
  const std::string_view tail = text.substr(text.size() - end.size());
  for (size_t i = 0; i < end.size(); ++i) {
    const char c = tail[i] >= 'A' && tail[i] <= 'Z' ? char(tail[i] - 'A' + 'a') : tail[i];
    if (c != end[i]) return false;
  }
  return true;
}

}  // namespace

std::string HelpFolderName(std::string_view helpFileName) {
  std::string_view name = helpFileName;
  if (EndsWithNoCase(name, ".chm")) name.remove_suffix(4);
  const bool leaves = name.empty() || name == "." || name == ".." ||
                      name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos;
  if (leaves) return kDefaultHelpFolder;
  return EndsWithNoCase(helpFileName, ".chm") ? std::string(name) + ".help"
                                              : std::string(helpFileName);
}

HelpPage FindHelpPage(const std::string& exeDir, std::string_view helpFileName,
                      std::string_view topic) {
  const std::string page(topic.empty() ? kDefaultTopic : topic);
  const std::string name = HelpFolderName(helpFileName);
  std::vector<std::string> folders = DataDirs(exeDir);
  for (std::string& folder : folders)
    folder.append("/").append(name);
  for (const std::string& folder : folders) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) continue;
    const std::string path = folder + "/" + page;
    if (std::filesystem::is_regular_file(path, ec)) return {path};
    return {{}, {ErrorKind::File, "Cannot find the help page %s", path}};
  }
  return {{}, {ErrorKind::File, "Cannot find the help page %s", folders.front() + "/" + page}};
}

}  // namespace quarvel
