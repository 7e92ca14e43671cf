// A small horizontal up-down control: a left and a right arrow. A click on the left arrow reports
// position 1, on the right arrow position 3; between clicks the control rests at 2.
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
};

}  // namespace quarvel
