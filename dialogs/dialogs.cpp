#include "dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace quarvel {

std::string OnDisk(const QString& name) {
  return QFile::encodeName(name).toStdString();
}

QString FromDisk(const std::string& name) {
  return QFile::decodeName(QByteArray::fromStdString(name));
}

QString DialogTitle(const QString& menuText) {
  QString title;
  for (qsizetype i = 0; i < menuText.size(); ++i) {
    if (menuText[i] == '&' && i + 1 < menuText.size() && menuText[i + 1] != '&') continue;
    title += menuText[i];
    if (menuText[i] == '&') ++i;  // "&&" stands for one '&'
  }
  return title;
}

QString LiteralMenuText(const QString& text) {
  QString escaped = text;
  return escaped.replace('&', "&&");
}

QString AskOpenFile(QWidget* parent, const QString& title, const QString& folder,
                    const QString& filter) {
  return QFileDialog::getOpenFileName(parent, DialogTitle(title), folder, filter);
}

QString AskSaveFile(QWidget* parent, const QString& title, const QString& folder,
                    const QString& name, const QString& suffix, const QString& filter) {
  QFileDialog dialog(parent, DialogTitle(title));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(suffix);
  dialog.setNameFilter(filter);
  // An empty folder, or one that is gone, would open the dialog on the list of drives.
  dialog.setDirectory(QFileInfo(folder).isDir() ? folder : QDir::homePath());
  dialog.selectFile(name);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

void ShowErrorBox(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::critical(parent, DialogTitle(title), text);
}

}  // namespace quarvel
