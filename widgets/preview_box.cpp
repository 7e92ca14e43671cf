#include "preview_box.h"

#include <QPainter>

#include "render/preview.h"

namespace quarvel {

OutBox::OutBox(QWidget* parent) : QWidget(parent) {
  setObjectName("OutBox");
}

void OutBox::SetPicture(QImage picture) {
  if (picture.size() != picture_.size()) update();  // the background behind a larger one too
  picture_ = std::move(picture);
  repaint();
}

void OutBox::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  const Rect2 r = PaintRect({picture_.width(), picture_.height()}, {width(), height()});
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(QRect(r.x, r.y, r.w, r.h), picture_);
}

}  // namespace quarvel
