#include "status_fields.h"

#include <QEvent>

namespace quarvel {

namespace {

// The progress bar sits over status field 1: 153 px from the bar's left, 3 px from its top, 146 px
// wide, down to the bar's bottom edge.
constexpr int kProgressLeft = 153, kProgressTop = 3, kProgressWidth = 146;

// `text` shown again in another language: `from` and `to` hold the same texts in the language
// shown and in the new one, "%s" standing for the number or size a text carries. A text that
// is none of them stays as it is.
QString TranslateShown(const QString& text, const QStringList& from, const QStringList& to) {
  for (qsizetype i = 0; i < from.size() && i < to.size(); ++i) {
    const qsizetype at = from[i].indexOf("%s");
    if (at < 0) {
      if (text == from[i]) return to[i];
      continue;
    }
    const QString before = from[i].left(at), after = from[i].mid(at + 2);
    const qsizetype middle = text.size() - before.size() - after.size();
    if (middle > 0 && text.startsWith(before) && text.endsWith(after))
      return QString(to[i]).replace("%s", text.mid(before.size(), middle));
  }
  return text;
}

}  // namespace

StatusFields::StatusFields(QStatusBar* bar) : QObject(bar), bar_(bar) {
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(false);
  for (int i = 0; i < 3; ++i) {
    fields_[i] = new QLabel(bar);
    fields_[i]->setObjectName(QString("StatusPanel%1").arg(i));
    // The last field takes what is left, so that its longer texts are not cut.
    if (i < 2)
      fields_[i]->setFixedWidth(150);
    else
      fields_[i]->setMinimumWidth(150);
    bar->addWidget(fields_[i], i == 2 ? 1 : 0);
  }
  progress_ = new QProgressBar(bar);
  progress_->setObjectName("ProgressBar");
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  PlaceProgressBar();
  bar->installEventFilter(this);
}

void StatusFields::SetText(int field, const QString& text) {
  if (field >= 0 && field < 3) fields_[field]->setText(text);
}

int StatusFields::MinimumWidth() const {
  return kProgressLeft + kProgressWidth + fields_[2]->minimumWidth() + 8;
}

void StatusFields::Localize(const std::function<QString(const char*)>& tr) {
  const QStringList texts = {"%s" + tr(" faces imported"), tr(" Press ESC to skip"),
                             tr("Processing faces..."), tr("Drawing..."),
                             tr("%s depth mask ready")};
  for (QLabel* field : fields_)
    field->setText(TranslateShown(field->text(), texts_, texts));
  texts_ = texts;
}

bool StatusFields::eventFilter(QObject* watched, QEvent* e) {
  if (watched == bar_ && e->type() == QEvent::Resize) PlaceProgressBar();
  return false;
}

void StatusFields::PlaceProgressBar() {
  progress_->setGeometry(kProgressLeft, kProgressTop, kProgressWidth,
                         std::max(1, bar_->height() - kProgressTop));
}

}  // namespace quarvel
