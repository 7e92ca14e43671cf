// The Help menu: the help pages at their default topic or at a window's own (F1), the online help
// and the web site, all opened in the user's browser. A missing help page is reported: the
// browser would otherwise be given nothing to show.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "base/error_text.h"
#include "base/feedback.h"

namespace quarvel {

class HelpCommands {
 public:
  HelpCommands(std::string exeDir, const Feedback& feedback,
               std::function<void(const ErrorText&)> report);

  void ShowHelp(const QString& topic = {});  // the help at `topic`, or at its default page
  void FormHelp();                           // F1 in the main window
  void Helptopics1Click();
  void OnlineHelp1Click();
  void Website1Click();

 private:
  std::string exeDir_;
  const Feedback& feedback_;
  std::function<void(const ErrorText&)> report_;
};

}  // namespace quarvel
