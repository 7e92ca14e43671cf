#include "localizer.h"

#include <algorithm>
#include <filesystem>

#include "text_util.h"

namespace quarvel {

namespace {

constexpr std::string_view kLanguageSuffix = ".quarvel.lang";

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && EqualsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

}  // namespace

std::string LocaleKey(std::string_view text) {
  return ReplaceAll(ReplaceAll(ReplaceAll(text, "\n\r", "$$"), "\r\n", "$$"), "=", "##");
}

TLocalizer::TLocalizer(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec)) file_.emplace(path);
}

std::string TLocalizer::TranslateText(std::string_view text) const {
  if (!file_) return std::string(text);
  const std::string key = LocaleKey(text);
  const std::string value = file_->Read(section_, key, key);
  return ReplaceAll(ReplaceAll(value, "$$", "\n\r"), "##", "=");
}

std::vector<std::string> ListLanguageFiles(const std::string& dir) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    std::error_code typeError;
    if (EndsWithNoCase(name, kLanguageSuffix) && entry.is_regular_file(typeError))
      files.push_back(name);
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string LanguageCaption(const std::string& fileName) {
  std::string caption;
  for (size_t i = 0; i < fileName.size();) {
    if (EqualsNoCase(std::string_view(fileName).substr(i, kLanguageSuffix.size()),
                     kLanguageSuffix)) {
      i += kLanguageSuffix.size();
    } else {
      caption += fileName[i++];
    }
  }
  return caption;
}

std::vector<LanguageEntry> BuildLanguageMenu(const std::vector<std::string>& files,
                                             const std::string& storedLanguage) {
  std::vector<LanguageEntry> menu;
  if (files.empty()) return menu;
  menu.push_back({"English", true});
  for (const std::string& file : files) {
    LanguageEntry entry{LanguageCaption(file), false};
    if (EqualsNoCase(entry.caption, storedLanguage)) {
      entry.checked = true;
      // A file of its own for English keeps entry 0 checked beside it; it is the one loaded,
      // being the last checked.
      if (!EqualsNoCase(entry.caption, menu[0].caption)) menu[0].checked = false;
    }
    menu.push_back(entry);
  }
  return menu;
}

std::string CurrentLanguage(const std::vector<LanguageEntry>& menu) {
  for (auto it = menu.rbegin(); it != menu.rend(); ++it)
    if (it->checked) return it->caption;
  return "English";
}

void CheckLanguage(std::vector<LanguageEntry>& menu, size_t index) {
  for (size_t i = 0; i < menu.size(); ++i)
    menu[i].checked = i == index;
}

}  // namespace quarvel
