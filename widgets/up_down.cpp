#include "up_down.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>

namespace quarvel {

namespace {

constexpr int kFrame = 2;  // room around the arrows for the focus frame

}  // namespace

UpDown::UpDown(const QString& name, QWidget* parent) : QWidget(parent) {
  setObjectName(name);
  setFocusPolicy(Qt::StrongFocus);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(kFrame, kFrame, kFrame, kFrame);
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

// One click per press; a held key repeats as a held arrow does.
void UpDown::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down:
      emit clicked(1);
      break;
    case Qt::Key_Right:
    case Qt::Key_Up:
      emit clicked(3);
      break;
    default:
      QWidget::keyPressEvent(e);
  }
}

// The frame in the highlight colour: the style's own focus rectangle is hard to see around such
// small arrows.
void UpDown::paintEvent(QPaintEvent*) {
  if (!hasFocus()) return;
  QPainter painter(this);
  painter.setPen(QPen(palette().color(QPalette::Highlight), kFrame));
  painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

}  // namespace quarvel
