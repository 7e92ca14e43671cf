// The status bar's three fields (faces imported, the Esc hint, the work under way or the mask
// ready) and the progress bar laid over the second. A change of language translates the texts
// shown, keeping their numbers.
#pragma once

#include <QLabel>
#include <QObject>
#include <QProgressBar>
#include <QStatusBar>
#include <QStringList>
#include <array>
#include <functional>

namespace quarvel {

class StatusFields : public QObject {
 public:
  explicit StatusFields(QStatusBar* bar);

  void SetText(int field, const QString& text);
  QString Text(int field) const { return fields_[field]->text(); }
  void SetProgress(int percent) { progress_->setValue(percent); }
  void Localize(const std::function<QString(const char*)>& tr);
  // The width the bar needs to show the progress bar and the last field whole.
  int MinimumWidth() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void PlaceProgressBar();

  QStatusBar* bar_;
  std::array<QLabel*, 3> fields_{};
  QProgressBar* progress_ = nullptr;
  QStringList texts_;  // the fields' texts in the language shown, "%s" for a number
};

}  // namespace quarvel
