// What the main window remembers: its settings, the recent-files list, the language, and the
// hint and tool-bar switches.
#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QToolBar>

#include "dialogs/dialogs.h"
#include "main_form.h"
#include "widgets/dxdraw.h"

namespace quarvel {

void TMainForm::BuildLanguageMenu() {
  languages_ = quarvel::BuildLanguageMenu(locations_.LanguageFiles(), props_.language);
  language1_->clear();
  language1_->menuAction()->setVisible(!languages_.empty());
  for (size_t i = 0; i < languages_.size(); ++i) {
    auto* a = language1_->addAction(QString::fromUtf8(languages_[i].caption));
    a->setCheckable(true);
    a->setChecked(languages_[i].checked);
    connect(a, &QAction::triggered, this, [this, i] { LanguageMenuClick(i); });
  }
  localizer_ = std::make_unique<TLocalizer>(locations_.LanguageFile(CurrentLanguage(languages_)));
  localizer_->SetSection("Locale");
  LocalizeControls();
}

void TMainForm::LanguageMenuClick(size_t index) {
  CheckLanguage(languages_, index);
  const auto entries = language1_->actions();
  for (int i = 0; i < entries.size(); ++i)
    entries[i]->setChecked(languages_[size_t(i)].checked);
  localizer_ = std::make_unique<TLocalizer>(locations_.LanguageFile(languages_[index].caption));
  localizer_->SetSection("Locale");
  LocalizeControls();
}

void TMainForm::RebuildRecentMenu() {
  for (QAction* a : recentActions_)
    file1_->removeAction(a), a->deleteLater();
  recentActions_.clear();
  recentSeparator_->setVisible(!recent_.empty());
  for (size_t i = 0; i < recent_.size(); ++i) {
    const QString path = QString::fromStdString(recent_[i]);
    // The name shows as it is: an '&' in it must not become an accelerator.
    auto* a = file1_->addAction(
        QString("&%1\t%2").arg(i + 1).arg(LiteralMenuText(QFileInfo(path).fileName())));
    a->setObjectName(QString("MRU%1").arg(i + 1));
    connect(a, &QAction::triggered, this, [this, path] { MRUClick(path); });
    recentActions_.push_back(a);
  }
}

void TMainForm::MRUClick(const QString& path) {
  if (QFileInfo(path).isFile()) Open3DS(path);
}

void TMainForm::Showhints1Click() {
  props_.Hints = showHints1_->isChecked();
  SaveSettings();
}

void TMainForm::Showtoolbar1Click() {
  toolBar_->setVisible(showToolbar1_->isChecked());
  Redraw();
  SaveSettings();
}

Props TMainForm::CurrentProps() const {
  Props p = props_;
  p.WindowState = isMaximized() ? kMaximized : isMinimized() ? kMinimized : kNormal;
  p.left = pos().x();
  p.top = pos().y();
  p.width = width();
  p.height = height();
  p.PicWidth = upDown4_->value();
  p.PicHeight = upDown5_->value();
  // The pane's real width once placed; before that (Qt's first layout), the stored width as the
  // window will allow it.
  p.Splitter = splitterPlaced_ ? panel1_->width()
                               : std::clamp(p.Splitter, kSplitterLimit,
                                            std::max(kSplitterLimit, width() - kSplitterLimit));
  p.Hints = showHints1_->isChecked();
  p.ToolBar = showToolbar1_->isChecked();
  p.ObjColor = ws_.scene.ObjColor;
  p.LightColor = ws_.scene.LightColor;
  p.language = CurrentLanguage(languages_);
  return p;
}

void TMainForm::SaveSettings() {
  try {
    quarvel::SaveSettings(settingsFile_.get(), settingsReady_, CurrentProps());
    settingsErrorShown_ = false;
  } catch (const SettingsWriteError& e) {
    // Saves follow every resize step: one message until a save succeeds again, not one per step.
    if (!settingsErrorShown_) ShowError(QString::fromUtf8(e.error.MessageWithReason(feedback_)));
    settingsErrorShown_ = true;
  }
}

void TMainForm::FormClose() {
  if (!settingsFile_) return;
  // The settings and the recent files in one replacement of the file.
  try {
    quarvel::SaveSettings(settingsFile_.get(), settingsReady_, CurrentProps(), &recent_);
  } catch (const SettingsWriteError& e) {
    if (!settingsErrorShown_) ShowError(QString::fromUtf8(e.error.MessageWithReason(feedback_)));
  }
  settingsFile_.reset();
}

}  // namespace quarvel
