// Opening addresses in the user's browser or mail program, and the help pages at a topic. Every
// window opens them through these functions.
#pragma once

#include <QUrl>
#include <functional>
#include <string>
#include <string_view>

#include "base/error_text.h"

namespace quarvel {

// Hands an address to the program that takes it; true when one did.
using LinkOpener = std::function<bool(const QUrl&)>;

// Opens `url` with the current opener: the desktop's (QDesktopServices::openUrl) unless replaced.
bool OpenLink(const QUrl& url);

// Replaces the opener and gives back the one replaced (tests record addresses instead of
// starting a browser); an empty one restores the desktop's.
LinkOpener SetLinkOpener(LinkOpener opener);

// Opens the help page `topic` (the help's default topic when empty). The help is the one the
// texts name for "quarvel.chm", looked for near the executable in `exeDir`. Gives the error to
// show when the page is not there; nothing opens then.
ErrorText ShowHelp(const std::string& exeDir, const Feedback& fb, std::string_view topic = {});

// The online help pages and the web site, at the program's own addresses.
void OpenOnlineHelp();
void OpenWebSite();

}  // namespace quarvel
