// A small horizontal up-down control: a left and a right arrow. It rests at position 2; a click
// on the left arrow reports 1, on the right arrow 3, and the control springs back to 2.
#pragma once

#include <QToolButton>
#include <QWidget>

namespace quarvel {

class UpDown : public QWidget {
  Q_OBJECT
 public:
  explicit UpDown(const QString& name, QWidget* parent = nullptr);
  int position() const { return position_; }

 signals:
  void clicked(int position);

 private:
  void Click(int position);
  int position_ = 2;
};

}  // namespace quarvel
