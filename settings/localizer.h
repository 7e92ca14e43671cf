// The program's texts in the user's language. Every text is looked up by its English wording in
// the section "Locale" of a language file ("Deutsch.quarvel.lang" beside the executable); a
// missing file or entry gives the English text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ini_file.h"

namespace quarvel {

class TLocalizer {
 public:
  // A localizer on the language file at `path`; one that does not exist translates nothing.
  explicit TLocalizer(const std::string& path);

  void SetSection(std::string section) { section_ = std::move(section); }

  // The text in the current language. Keys encode a line break (LF CR or CR LF) as "$$" and an
  // "=" as "##"; translations decode them, so an untranslated text comes back as itself but for
  // a CR LF, which becomes the program's LF CR.
  std::string TranslateText(std::string_view text) const;

 private:
  std::optional<IniFile> file_;
  std::string section_ = "Locale";
};

// The key of a text in a language file: line breaks (LF CR or CR LF) as "$$", "=" as "##".
std::string LocaleKey(std::string_view text);

// The Language menu as data: entry 0 "English", then one entry per language file.
struct LanguageEntry {
  std::string caption;
  bool checked = false;
};

// The language files in `dir` (regular files whose name ends in ".quarvel.lang", any case), by
// name.
std::vector<std::string> ListLanguageFiles(const std::string& dir);

// A file's entry caption: its name with every ".quarvel.lang" removed.
std::string LanguageCaption(const std::string& fileName);

// The menu for these files with the stored language checked; empty (the menu hidden) when there
// are no files.
std::vector<LanguageEntry> BuildLanguageMenu(const std::vector<std::string>& files,
                                             const std::string& storedLanguage);

// The caption of the last checked entry; "English" when none is checked.
std::string CurrentLanguage(const std::vector<LanguageEntry>& menu);

// Checks the clicked entry only.
void CheckLanguage(std::vector<LanguageEntry>& menu, size_t index);

}  // namespace quarvel
