// The about box: a borderless picture with the program's text scrolling upwards in a window of
// it, the web site and contact links, and an OK area. Esc, Space, Enter or a click on OK close it.
#pragma once

#include <QDialog>
#include <QFont>
#include <QImage>
#include <QLabel>
#include <QTimer>

#include "base/feedback.h"

namespace quarvel {

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  // `fb` gives the texts in the user's language; the box opens over `parent`'s window.
  TAboutBox(QWidget* parent, Feedback fb);

  // The background picture as decoded (null when the embedded picture could not be decoded).
  const QImage& background() const { return background_; }
  // The text's offset in the scroller window, and the height of the whole text.
  int scrollTop() const { return scrollTop_; }
  int scrollTextHeight() const { return scrollTextHeight_; }
  // What the scroller window shows now.
  const QImage& scroller() const { return composed_; }

 protected:
  bool event(QEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void FormCreate();
  void FormActivate();
  void Timer1Timer();
  void DrawScroller(int* textHeight = nullptr);
  QString Tr(const QString& english) const;

  Feedback fb_;
  QImage background_;      // the whole picture
  QImage backgroundCopy_;  // the part of the picture under the scroller window
  QImage textImage_;       // the text on black
  QImage composed_;        // the text over the picture: the scroller window's image
  QFont scrollerFont_;
  QString scrollText_;
  int scrollTop_ = 0;
  int scrollTextHeight_ = 0;

  QLabel* dxPaintBox1_ = nullptr;
  QLabel* imageBgr_ = nullptr;
  QLabel *label1_ = nullptr, *label2_ = nullptr, *label3_ = nullptr, *label6_ = nullptr;
  QLabel* okImage_ = nullptr;
  QTimer* timer1_ = nullptr;
};

}  // namespace quarvel
