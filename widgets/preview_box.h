// The mask preview pane: paints the preview picture centred, shrunk to fit but never enlarged.
#pragma once

#include <QImage>
#include <QWidget>

namespace quarvel {

class OutBox : public QWidget {
  Q_OBJECT
 public:
  explicit OutBox(QWidget* parent = nullptr);
  void SetPicture(QImage picture);
  const QImage& picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QImage picture_;
};

}  // namespace quarvel
