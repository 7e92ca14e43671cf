#include "links.h"

#include <QDesktopServices>
#include <QFile>
#include <utility>

#include "ui/help.h"

namespace quarvel {

namespace {

LinkOpener& CurrentOpener() {
  static LinkOpener opener;
  return opener;
}

}  // namespace

bool OpenLink(const QUrl& url) {
  const LinkOpener& opener = CurrentOpener();
  return opener ? opener(url) : QDesktopServices::openUrl(url);
}

LinkOpener SetLinkOpener(LinkOpener opener) {
  return std::exchange(CurrentOpener(), std::move(opener));
}

ErrorText ShowHelp(const std::string& exeDir, const Feedback& fb, std::string_view topic) {
  const HelpPage page = FindHelpPage(exeDir, fb.Tr(kHelpFileName), topic);
  if (page.path.empty()) return page.error;
  OpenLink(QUrl::fromLocalFile(QFile::decodeName(page.path.c_str())));
  return {};
}

void OpenOnlineHelp() {
  OpenLink(QUrl(kOnlineHelp));
}

void OpenWebSite() {
  OpenLink(QUrl(kWebSite));
}

}  // namespace quarvel
