// A small horizontal up-down control: a left and a right arrow. A click on the left arrow reports
// position 1, on the right arrow position 3; between clicks the control rests at 2. Tab reaches
// the control, which then shows a frame and answers Left or Down as its left arrow, Right or Up
// as its right arrow.
#pragma once

#include <QToolButton>
#include <QWidget>

namespace quarvel {

class UpDown : public QWidget {
  Q_OBJECT
 public:
  explicit UpDown(const QString& name, QWidget* parent = nullptr);

 signals:
  void clicked(int position);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
};

}  // namespace quarvel
