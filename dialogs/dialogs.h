// The window's standard dialogs, each opened through one function. Every dialog is created when
// opened, shown modally and released when closed; a dialog of our own is given the workspace,
// never the main window.
#pragma once

#include <QString>
#include <QWidget>
#include <string>
#include <utility>

namespace quarvel {

// A file name as the bytes the system uses for it, and back.
std::string OnDisk(const QString& name);
QString FromDisk(const std::string& name);

// A menu text as a dialog title: "&Open" is "Open", "Save && Quit" is "Save & Quit".
QString DialogTitle(const QString& menuText);

// A menu entry's text showing `text` as it is: every '&' doubled, so that none underlines.
QString LiteralMenuText(const QString& text);

// The chosen file, or an empty text when the user cancels.
QString AskOpenFile(QWidget* parent, const QString& title, const QString& folder,
                    const QString& filter);
QString AskSaveFile(QWidget* parent, const QString& title, const QString& folder,
                    const QString& name, const QString& suffix, const QString& filter);

void ShowErrorBox(QWidget* parent, const QString& title, const QString& text);

// Runs one of our own dialogs modally and gives its result.
template <typename Dialog, typename... Args>
int RunDialog(QWidget* parent, Args&&... args) {
  Dialog dialog(parent, std::forward<Args>(args)...);
  return dialog.exec();
}

}  // namespace quarvel
