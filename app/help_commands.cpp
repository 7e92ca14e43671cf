#include "help_commands.h"

#include <utility>

#include "dialogs/links.h"
#include "ui/help.h"

namespace quarvel {

HelpCommands::HelpCommands(std::string exeDir, const Feedback& feedback,
                           std::function<void(const ErrorText&)> report)
    : exeDir_(std::move(exeDir)), feedback_(feedback), report_(std::move(report)) {}

void HelpCommands::ShowHelp(const QString& topic) {
  const ErrorText error = quarvel::ShowHelp(exeDir_, feedback_, topic.toStdString());
  if (!error.empty()) report_(error);
}

void HelpCommands::FormHelp() {
  ShowHelp(kMainFormTopic);
}

void HelpCommands::Helptopics1Click() {
  ShowHelp();
}

void HelpCommands::OnlineHelp1Click() {
  OpenOnlineHelp();
}

void HelpCommands::Website1Click() {
  OpenWebSite();
}

}  // namespace quarvel
