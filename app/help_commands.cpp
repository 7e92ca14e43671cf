// The Help menu: the help pages at their default topic or at the window's (F1), the online help
// and the web site, all opened in the user's browser.
#include "dialogs/links.h"
#include "main_form.h"
#include "ui/help.h"

namespace quarvel {

// A missing help page is reported: the browser would otherwise be given nothing to show.
void TMainForm::ShowHelp(const QString& topic) {
  const ErrorText error = quarvel::ShowHelp(locations_.exeDir, feedback_, topic.toStdString());
  if (!error.empty()) ShowError(QString::fromUtf8(error.MessageWithReason(feedback_)));
}

void TMainForm::FormHelp() {
  ShowHelp(kMainFormTopic);
}

void TMainForm::Helptopics1Click() {
  ShowHelp();
}

void TMainForm::OnlineHelp1Click() {
  OpenOnlineHelp();
}

void TMainForm::Website1Click() {
  OpenWebSite();
}

}  // namespace quarvel
