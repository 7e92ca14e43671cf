#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "fixtures.h"
#include "settings/localizer.h"
#include "settings/texts.h"

namespace quarvel {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

TEST(Localizer, LooksTextsUpByTheirEncodedEnglish) {
  test::ScratchDir dir;
  const std::string path =
      dir.Write("Deutsch.quarvel.lang", Bytes("[Locale]\n"
                                              "rotation=Drehung\n"
                                              "Line one$$Line two=Zeile eins$$Zeile zwei\n"
                                              "a ## b=a ist b\n"
                                              " faces imported=\" Flächen importiert\"\n"));
  TLocalizer de(path);
  EXPECT_EQ(de.TranslateText("Rotation"), "Drehung") << "keys match in any case";
  EXPECT_EQ(de.TranslateText("Moving"), "Moving");
  EXPECT_EQ(de.TranslateText("Line one\n\rLine two"), "Zeile eins\n\rZeile zwei");
  EXPECT_EQ(de.TranslateText("Line one\r\nLine two"), "Zeile eins\n\rZeile zwei");
  EXPECT_EQ(de.TranslateText("a = b"), "a ist b");
  EXPECT_EQ(de.TranslateText(" faces imported"), " Flächen importiert");
  EXPECT_EQ(de.TranslateText("x = y\r\nz"), "x = y\n\rz") << "untranslated: CR LF becomes LF CR";

  TLocalizer none(dir.Path("Missing.quarvel.lang"));
  EXPECT_EQ(none.TranslateText("a\r\nb = c"), "a\r\nb = c") << "no file: unchanged";
}

TEST(Localizer, ALanguageFileSwappedForAFifoADeviceOrAHugeFileGivesTheEnglishText) {
  test::ScratchDir dir;
  const std::string translation = "[Locale]\nRotation=Drehung\n";
  const std::function<void(const std::string&)> swaps[] = {
      [](const std::string& path) { ::mkfifo(path.c_str(), 0600); },
      [](const std::string& path) { std::filesystem::create_symlink("/dev/zero", path); },
      [&](const std::string& path) {
        dir.Write(std::filesystem::path(path).filename(),
                  Bytes(translation + std::string(kMaxIniFile, ';')));
      },
  };
  for (size_t i = 0; i < std::size(swaps); ++i) {
    const std::string path = dir.Write(std::to_string(i) + ".quarvel.lang", Bytes(translation));
    const TLocalizer de(path);
    std::filesystem::remove(path);
    swaps[i](path);
    EXPECT_EQ(test::InChild([&] { return de.TranslateText("Rotation"); }, uint64_t(64) << 20, 10),
              "Rotation")
        << i;
  }
}

TEST(Localizer, LanguageMenu) {
  EXPECT_TRUE(BuildLanguageMenu({}, "Deutsch").empty()) << "no files: the menu is hidden";
  EXPECT_EQ(CurrentLanguage({}), "English");

  auto menu = BuildLanguageMenu({"Deutsch.quarvel.lang", "Français.quarvel.lang"}, "deutsch");
  ASSERT_EQ(menu.size(), 3u);
  EXPECT_EQ(menu[0].caption, "English");
  EXPECT_FALSE(menu[0].checked);
  EXPECT_TRUE(menu[1].checked) << "the stored language in other letters";
  EXPECT_EQ(menu[2].caption, "Français");
  EXPECT_EQ(CurrentLanguage(menu), "Deutsch");
  CheckLanguage(menu, 2);
  EXPECT_EQ(CurrentLanguage(menu), "Français");

  menu = BuildLanguageMenu({"Deutsch.quarvel.lang"}, "Klingon");
  EXPECT_TRUE(menu[0].checked) << "a stored language without a file leaves English";
  EXPECT_EQ(CurrentLanguage(menu), "English");

  menu = BuildLanguageMenu({"English.quarvel.lang"}, "English");
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_TRUE(menu[0].checked);
  EXPECT_TRUE(menu[1].checked);
  EXPECT_EQ(LanguageCaption("a.quarvel.lang.quarvel.lang"), "a");
}

TEST(Localizer, ListsLanguageFilesOnly) {
  test::ScratchDir dir;
  dir.Write("Deutsch.quarvel.lang", {});
  dir.Write("Zulu.QUARVEL.LANG", {});
  dir.Write("notes.txt", {});
  std::filesystem::create_directory(dir.Path("Folder.quarvel.lang"));
  EXPECT_EQ(ListLanguageFiles(dir.Path("")),
            (std::vector<std::string>{"Deutsch.quarvel.lang", "Zulu.QUARVEL.LANG"}));
  EXPECT_TRUE(ListLanguageFiles(dir.Path("nowhere")).empty());
}

TEST(Localizer, ShippedLanguagesCoverEveryText) {
  const auto files = ListLanguageFiles(QUARVEL_LANG);
  ASSERT_EQ(files.size(), 2u);
  for (const std::string& file : files) {
    const IniFile lang(std::string(QUARVEL_LANG) + "/" + file);
    TLocalizer localizer(lang.path());
    for (std::string_view text : TranslatableTexts()) {
      EXPECT_NE(lang.Read("Locale", LocaleKey(text), "\x01missing"), "\x01missing")
          << file << " has no entry for \"" << text << "\"";
      // Blanks at either end of a text survive in its translation.
      const std::string shown = localizer.TranslateText(text);
      EXPECT_EQ(shown.starts_with(' '), text.starts_with(' ')) << file << ": \"" << text << "\"";
    }
  }
}

}  // namespace
}  // namespace quarvel
