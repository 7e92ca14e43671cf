// The help's folder and a walk of the shipped pages: every link and picture in
// them must lead somewhere, and every topic a window opens must be there.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "fixtures.h"
#include "ui/help.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;

void WriteText(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

void MakePage(const std::string& path) {
  WriteText(path, "<html></html>");
}

TEST(Help, FolderNameFollowsTheHelpFileName) {
  EXPECT_EQ(HelpFolderName("quarvel.chm"), "quarvel.help");
  EXPECT_EQ(HelpFolderName("Quarvel_DE.CHM"), "Quarvel_DE.help");
  EXPECT_EQ(HelpFolderName("hilfe.help"), "hilfe.help") << "a name without .chm stays";
  // A language file must not send the help outside the folders it is looked for in.
  for (const std::string& bad :
       std::vector<std::string>{"", ".chm", "..chm", "...chm", "..", "../../etc.chm", "a/b.chm",
                                "/tmp/x.help", std::string("x\0y.chm", 7)})
    EXPECT_EQ(HelpFolderName(bad), "quarvel.help") << bad;
}

struct HelpFolderTest : ::testing::Test {
  test::ScratchDir dir;
  std::string bin = dir.Path("bin");
  std::string share = dir.Path("share/quarvel");
  void SetUp() override { fs::create_directories(bin); }
};

TEST_F(HelpFolderTest, PagesBesideTheExecutableComeFirstThenTheSharedFolder) {
  MakePage(share + "/quarvel.help/index.htm");
  MakePage(share + "/quarvel.help/how_to_use.htm");
  EXPECT_EQ(FindHelpPage(bin, "quarvel.chm", "").path, share + "/quarvel.help/index.htm")
      << "an installed copy: ../share/quarvel/ relative to the executable";
  EXPECT_EQ(FindHelpPage(bin, "quarvel.chm", "how_to_use.htm").path,
            share + "/quarvel.help/how_to_use.htm");

  MakePage(bin + "/quarvel.help/index.htm");
  EXPECT_EQ(FindHelpPage(bin, "quarvel.chm", "").path, bin + "/quarvel.help/index.htm");
  const HelpPage missing = FindHelpPage(bin, "quarvel.chm", "how_to_use.htm");
  EXPECT_EQ(missing.path, "") << "the folder beside the executable is the help, whole";
  EXPECT_EQ(missing.error.text, "Cannot find the help page %s");
  EXPECT_EQ(missing.error.arg, bin + "/quarvel.help/how_to_use.htm");
}

TEST_F(HelpFolderTest, MissingHelpNamesThePageBesideTheExecutable) {
  WriteText(bin + "/quarvel.help", "not a folder");
  const HelpPage page = FindHelpPage(bin, "quarvel.chm", "Options_dialog.htm");
  EXPECT_EQ(page.path, "");
  EXPECT_EQ(page.error.arg, bin + "/quarvel.help/Options_dialog.htm");
  EXPECT_EQ(FindHelpPage(bin, "quarvel.chm", "").error.arg, bin + "/quarvel.help/index.htm")
      << "the default topic";
}

TEST_F(HelpFolderTest, LanguageNamesItsOwnHelp) {
  MakePage(bin + "/quarvel.help/index.htm");
  MakePage(bin + "/quarvel_de.help/index.htm");
  EXPECT_EQ(FindHelpPage(bin, "quarvel_de.chm", "").path, bin + "/quarvel_de.help/index.htm");
  EXPECT_EQ(FindHelpPage(bin, "quarvel_fr.chm", "").error.arg, bin + "/quarvel_fr.help/index.htm")
      << "its help missing: reported, not replaced by the English one";
}

// --- The shipped pages -------------------------------------------------------------------------

const fs::path kPages = QUARVEL_HELP;

std::string ReadText(const fs::path& path) {
  const std::vector<uint8_t> bytes = test::ReadFile(path.string());
  return {bytes.begin(), bytes.end()};
}

std::vector<fs::path> Pages() {
  std::vector<fs::path> pages;
  for (const auto& e : fs::directory_iterator(kPages))
    if (e.path().extension() == ".htm") pages.push_back(e.path());
  std::sort(pages.begin(), pages.end());
  return pages;
}

// The values of one attribute (href, src, id) in a page, entities decoded as far as the pages
// use them.
std::vector<std::string> Attributes(const std::string& html, const std::string& name) {
  std::vector<std::string> values;
  const std::regex attribute("\\s" + name + "\\s*=\\s*\"([^\"]*)\"", std::regex::icase);
  for (auto it = std::sregex_iterator(html.begin(), html.end(), attribute);
       it != std::sregex_iterator(); ++it)
    values.push_back(std::regex_replace((*it)[1].str(), std::regex("&amp;"), "&"));
  return values;
}

bool IsPng(const fs::path& path) {
  const std::string bytes = ReadText(path);
  return bytes.size() > 24 && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0 &&
         bytes.compare(12, 4, "IHDR") == 0;
}

TEST(HelpPages, EveryWindowTopicIsThere) {
  for (const char* topic : {kDefaultTopic, kMainFormTopic, kOptionsTopic, kAnimationTopic})
    EXPECT_TRUE(fs::is_regular_file(kPages / topic)) << topic;
}

using Anchors = std::map<std::string, std::set<std::string>>;  // page name -> its ids

// What is wrong with a link or picture address in the page `name`; empty when it leads to a file
// of the help folder (and to an id in it, after a '#'), or to the program's web site or mail.
std::string LinkProblem(const std::string& name, const std::string& ref, const Anchors& anchors) {
  const std::string site = kWebSite;
  if (ref == site || ref.rfind(site + "/", 0) == 0 || ref == std::string("mailto:") + kContactMail)
    return "";
  if (ref.find(':') != std::string::npos) return "an address outside the program's own";
  const size_t hash = ref.find('#');
  const std::string file = ref.substr(0, hash);
  if (file.rfind('/', 0) == 0 || file.find("..") != std::string::npos)
    return "a link outside the help folder";
  const std::string target = file.empty() ? name : file;
  if (!fs::is_regular_file(kPages / target)) return "no such file";
  if (fs::path(target).extension() == ".png" && !IsPng(kPages / target)) return "not a PNG picture";
  if (hash == std::string::npos) return "";
  const auto ids = anchors.find(target);
  if (ids == anchors.end() || !ids->second.count(ref.substr(hash + 1))) return "no such anchor";
  return "";
}

TEST(HelpPages, EveryLinkAndPictureLeadsSomewhere) {
  const std::vector<fs::path> pages = Pages();
  ASSERT_GE(pages.size(), 4u);
  Anchors anchors;
  for (const fs::path& page : pages)
    for (const std::string& id : Attributes(ReadText(page), "id"))
      anchors[page.filename().string()].insert(id);

  std::set<std::string> linked = {kDefaultTopic};
  for (const fs::path& page : pages) {
    const std::string html = ReadText(page);
    const std::string name = page.filename().string();
    std::vector<std::string> refs = Attributes(html, "href");
    const std::vector<std::string> sources = Attributes(html, "src");
    refs.insert(refs.end(), sources.begin(), sources.end());
    for (const std::string& ref : refs) {
      EXPECT_EQ(LinkProblem(name, ref, anchors), "") << name << ": " << ref;
      if (ref.find(':') == std::string::npos &&
          fs::path(ref.substr(0, ref.find('#'))).extension() == ".htm")
        linked.insert(ref.substr(0, ref.find('#')));
    }
  }
  for (const fs::path& page : pages)
    EXPECT_TRUE(linked.count(page.filename().string())) << page << " is linked from no page";
}

}  // namespace
}  // namespace quarvel
