#include "about_box.h"

#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <functional>
#include <span>

#include "dialogs/links.h"
#include "ui/about_scroller.h"
#include "ui/about_text.h"
#include "ui/help.h"
#include "ui/jpeg.h"

// The picture lives in a static library, whose resources must be registered by hand (outside
// any namespace).
static void InitAboutPicture() {
  Q_INIT_RESOURCE(about);
}

namespace quarvel {

namespace {

constexpr int kTextFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap | Qt::TextDontClip;

// A label that does something when clicked.
class ClickLabel : public QLabel {
 public:
  ClickLabel(const QString& text, QWidget* parent, std::function<void()> onClick)
      : QLabel(text, parent), onClick_(std::move(onClick)) {
    setCursor(Qt::PointingHandCursor);
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) onClick_();
  }

 private:
  std::function<void()> onClick_;
};

QColor TextColor() {
  return QColor(int(kAboutTextColor & 0xff), int(kAboutTextColor >> 8 & 0xff),
                int(kAboutTextColor >> 16 & 0xff));
}

// The embedded picture, decoded with libjpeg; a null image when it cannot be.
QImage LoadPicture() {
  QFile file(":/about_bgr");
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.readAll();
  const JpegResult jpeg = DecodeJpeg(
      std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
  if (!jpeg.ok()) return {};
  QImage image(jpeg.image.width, jpeg.image.height, QImage::Format_RGB888);
  for (int y = 0; y < image.height(); ++y)
    std::copy_n(jpeg.image.Pixel(0, y), size_t(image.width()) * 3, image.scanLine(y));
  return image;
}

std::span<uint8_t> Bytes(QImage& image) {
  return {image.bits(), size_t(image.sizeInBytes())};
}
std::span<const uint8_t> Bytes(const QImage& image) {
  return {image.constBits(), size_t(image.sizeInBytes())};
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent, Feedback fb)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), fb_(std::move(fb)) {
  InitAboutPicture();
  setObjectName("AboutBox");
  setFixedSize(kAboutWidth, kAboutHeight);
  QFont font("MS Sans Serif");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(14);
  setFont(font);

  dxPaintBox1_ = new QLabel(this);
  dxPaintBox1_->setObjectName("DXPaintBox1");
  dxPaintBox1_->setGeometry(0, 0, kAboutWidth, kAboutHeight);
  imageBgr_ = new QLabel(this);
  imageBgr_->setObjectName("ImageBgr");

  QPalette palette = this->palette();
  palette.setColor(QPalette::WindowText, TextColor());
  auto label = [&](QLabel* l, const char* name, int x, int y, bool link) {
    l->setObjectName(name);
    l->setPalette(palette);
    QFont f = l->font();
    f.setBold(true);
    f.setUnderline(link);
    l->setFont(f);
    if (link) l->setAlignment(Qt::AlignHCenter);
    l->move(x, y);
    l->adjustSize();
  };
  label1_ = new QLabel("Program web site:", this);
  label(label1_, "Label1", 7, 232, false);
  label6_ = new ClickLabel(kWebSite, this, [] { OpenLink(QUrl(kWebSite)); });
  label(label6_, "Label6", 128, 232, true);
  label6_->setToolTip("Stelmar Stereography Homepage");
  label3_ = new QLabel("Contact us:", this);
  label(label3_, "Label3", 7, 248, false);
  label2_ =
      new ClickLabel(kContactMail, this, [] { OpenLink(QUrl(QString("mailto:") + kContactMail)); });
  label(label2_, "Label2", 128, 248, true);

  okImage_ = new ClickLabel({}, this, [this] { accept(); });
  okImage_->setObjectName("OKImage");
  okImage_->setGeometry(275, 233, 73, 28);

  timer1_ = new QTimer(this);
  timer1_->setObjectName("Timer1");
  connect(timer1_, &QTimer::timeout, this, &TAboutBox::Timer1Timer);
  timer1_->start(kScrollFirstDelayMs);
  FormCreate();
}

QString TAboutBox::Tr(const QString& english) const {
  return QString::fromStdString(fb_.Tr(english.toStdString()));
}

// The picture, and the place over the main window.
void TAboutBox::FormCreate() {
  background_ = LoadPicture();
  if (!background_.isNull()) dxPaintBox1_->setPixmap(QPixmap::fromImage(background_));
  if (const QWidget* main = parentWidget() ? parentWidget()->window() : nullptr) {
    const QRect r = main->frameGeometry();
    const BoxPlace p =
        PlaceOverMain(r.left(), r.top(), r.width(), r.height(), kAboutWidth, kAboutHeight);
    move(p.left, p.top);
  }
}

// Every activation starts the text at the top again, with the labels' texts in the user's
// language.
void TAboutBox::FormActivate() {
  label1_->setText(Tr(label1_->text()));
  label3_->setText(Tr(label3_->text()));
  scrollText_ = QString(kAboutText).replace("\n\r", "\n");
  scrollTop_ = 0;
  imageBgr_->setGeometry(kScrollerLeft, kScrollerTop, kScrollerWidth, kScrollerHeight);

  backgroundCopy_ = QImage(kScrollerWidth, kScrollerHeight, QImage::Format_RGB888);
  backgroundCopy_.fill(Qt::black);
  textImage_ = backgroundCopy_;
  composed_ = backgroundCopy_;

  scrollerFont_ = QFont();
  scrollerFont_.setPixelSize(11);
  scrollerFont_.setWeight(QFont::Bold);
  scrollerFont_.setStyleStrategy(QFont::PreferQuality);
  // Narrow letters, so that the addresses end before the OK button.
  scrollerFont_.setStretch(QFont::Condensed);
  for (QLabel* l : {label1_, label2_, label3_, label6_}) {
    l->setFont(scrollerFont_);
    l->adjustSize();
  }

  if (!background_.isNull()) {
    backgroundCopy_ = background_.copy(kScrollerLeft, kScrollerTop, kScrollerWidth, kScrollerHeight)
                          .convertToFormat(QImage::Format_RGB888);
  }
  DrawScroller(&scrollTextHeight_);
}

// One step: the text is drawn where it is, then moves a pixel up for the next step.
void TAboutBox::Timer1Timer() {
  timer1_->setInterval(kScrollStepMs);
  timer1_->stop();
  DrawScroller();
  scrollTop_ = NextScrollTop(scrollTop_, scrollTextHeight_);
  timer1_->start();
}

// The text at its offset on black, laid over the picture; gives the text's height when asked.
void TAboutBox::DrawScroller(int* textHeight) {
  textImage_.fill(Qt::black);
  {
    QPainter p(&textImage_);
    p.setFont(scrollerFont_);
    p.setPen(TextColor());
    QRect drawn;
    p.drawText(QRect(0, scrollTop_, kScrollerWidth, kScrollerHeight - scrollTop_), kTextFlags,
               scrollText_, &drawn);
    if (textHeight) *textHeight = drawn.height();
  }
  ComposeScroller(Bytes(std::as_const(textImage_)), Bytes(std::as_const(backgroundCopy_)),
                  Bytes(composed_));
  imageBgr_->setPixmap(QPixmap::fromImage(composed_));
}

bool TAboutBox::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) FormActivate();
  return QDialog::event(e);
}

// The first showing is an activation, also where the window system activates no window.
void TAboutBox::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  FormActivate();
}

// Esc, Space and Enter close the box; every other key, F1 included, does nothing.
void TAboutBox::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      accept();
      break;
    default:
      break;
  }
}

}  // namespace quarvel
