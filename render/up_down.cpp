#include "up_down.h"

#include <QHBoxLayout>

namespace quarvel {

UpDown::UpDown(const QString& name, QWidget* parent) : QWidget(parent) {
  setObjectName(name);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (const bool right : {false, true}) {
    auto* button = new QToolButton(this);
    button->setObjectName(name + (right ? "Right" : "Left"));
    button->setArrowType(right ? Qt::RightArrow : Qt::LeftArrow);
    button->setAutoRepeat(true);
    button->setFixedSize(17, 21);
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QToolButton::clicked, this, [this, right] { emit clicked(right ? 3 : 1); });
    layout->addWidget(button);
  }
}

}  // namespace quarvel
