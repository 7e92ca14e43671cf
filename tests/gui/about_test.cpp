// The about box opened from the main window as a user would: its picture and place, the text
// that starts to scroll, the keys and the OK area that close it, and the two links.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>

#include "dialogs/about_box.h"
#include "dialogs/links.h"
#include "gui_fixture.h"
#include "ui/about_scroller.h"

namespace quarvel {
namespace {

struct AboutTest : GuiTest {
  std::unique_ptr<TMainForm> form;
  std::vector<QString> opened;  // the addresses handed to the browser or mail program
  LinkOpener saved;

  void SetUp() override {
    form = MakeForm();
    saved = SetLinkOpener([this](const QUrl& url) {
      opened.push_back(url.toString());
      return true;
    });
  }
  void TearDown() override { SetLinkOpener(std::move(saved)); }

  // Opens the box with "&About" and runs `body` on it once it shows; gives whether it closed.
  bool WithBox(const std::function<void(TAboutBox&)>& body) {
    bool ran = false;
    auto* timer = new QTimer(form.get());
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
      auto* box = qobject_cast<TAboutBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      timer->stop();
      ran = true;
      body(*box);
      // A box the body left open is closed here, so that the test goes on either way.
      if (box->isVisible()) QTimer::singleShot(0, box, [box] { box->reject(); });
    });
    timer->start(10);
    form->findChild<QAction*>("About1")->trigger();
    timer->deleteLater();
    return ran;
  }
};

TEST_F(AboutTest, ShowsItsPictureOverTheMainWindow) {
  EXPECT_TRUE(WithBox([&](TAboutBox& box) {
    EXPECT_EQ(box.size(), QSize(kAboutWidth, kAboutHeight));
    EXPECT_TRUE(box.windowFlags() & Qt::FramelessWindowHint);
    // Decoded from the embedded JPEG with libjpeg, not by Qt's image readers.
    ASSERT_FALSE(box.background().isNull());
    EXPECT_EQ(box.background().size(), QSize(kAboutWidth, kAboutHeight));

    const QRect main = form->frameGeometry();
    const BoxPlace place = PlaceOverMain(main.left(), main.top(), main.width(), main.height(),
                                         kAboutWidth, kAboutHeight);
    EXPECT_EQ(box.pos(), QPoint(place.left, place.top));

    auto* scroller = box.findChild<QLabel*>("ImageBgr");
    EXPECT_EQ(scroller->geometry(),
              QRect(kScrollerLeft, kScrollerTop, kScrollerWidth, kScrollerHeight));
    EXPECT_EQ(box.findChild<QLabel*>("Label1")->text(), "Program web site:");
    EXPECT_EQ(box.findChild<QLabel*>("Label3")->text(), "Contact us:");
    EXPECT_EQ(box.findChild<QLabel*>("Label6")->toolTip(), "Stelmar Stereography Homepage");

    // The text stands at the top; the first line shows over the picture in the text colour.
    EXPECT_EQ(box.scrollTop(), 0);
    EXPECT_GT(box.scrollTextHeight(), kScrollerHeight);
    const QImage shown = box.scroller();
    const QRgb textColour = qRgb(172, 242, 255);
    bool textShown = false;
    for (int y = 0; y < 14 && !textShown; ++y)
      for (int x = 0; x < kScrollerWidth && !textShown; ++x)
        textShown = shown.pixel(x, y) == textColour;
    EXPECT_TRUE(textShown);
    // Between the letters, the picture: most of the window.
    const QImage under =
        box.background().copy(kScrollerLeft, kScrollerTop, kScrollerWidth, kScrollerHeight);
    int pictureShown = 0;
    for (int y = 0; y < kScrollerHeight; ++y)
      for (int x = 0; x < kScrollerWidth; ++x)
        pictureShown += shown.pixel(x, y) == under.pixel(x, y);
    EXPECT_GT(pictureShown, kScrollerWidth * kScrollerHeight / 2);
  }));
  EXPECT_TRUE(errors.empty());
}

TEST_F(AboutTest, TheTextScrollsUpAfterAPause) {
  EXPECT_TRUE(WithBox([&](TAboutBox& box) {
    const QImage first = box.scroller();
    EXPECT_TRUE(QTest::qWaitFor([&] { return box.scrollTop() <= -5; }, 20000));
    EXPECT_NE(box.scroller(), first);
  }));
}

TEST_F(AboutTest, EscSpaceAndEnterCloseTheBoxOtherKeysDoNothing) {
  for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
    bool closed = false;
    EXPECT_TRUE(WithBox([&](TAboutBox& box) {
      for (Qt::Key other : {Qt::Key_F1, Qt::Key_A, Qt::Key_Tab}) {
        QTest::keyClick(&box, other);
        EXPECT_TRUE(box.isVisible()) << other;
      }
      QTest::keyClick(&box, key);
      closed = !box.isVisible();
    }));
    EXPECT_TRUE(closed) << key;
  }
  EXPECT_TRUE(opened.empty());  // F1 opened no help
}

TEST_F(AboutTest, TheOkAreaClosesTheBox) {
  bool closed = false;
  EXPECT_TRUE(WithBox([&](TAboutBox& box) {
    auto* ok = box.findChild<QLabel*>("OKImage");
    EXPECT_EQ(ok->geometry(), QRect(275, 233, 73, 28));
    QTest::mouseClick(ok, Qt::LeftButton);
    closed = !box.isVisible();
  }));
  EXPECT_TRUE(closed);
}

TEST_F(AboutTest, TheLinksOpenTheWebSiteAndAMailToTheContact) {
  EXPECT_TRUE(WithBox([&](TAboutBox& box) {
    QTest::mouseClick(box.findChild<QLabel*>("Label6"), Qt::LeftButton);
    QTest::mouseClick(box.findChild<QLabel*>("Label2"), Qt::LeftButton);
    // The captions are no links.
    QTest::mouseClick(box.findChild<QLabel*>("Label1"), Qt::LeftButton);
    QTest::mouseClick(box.findChild<QLabel*>("Label3"), Qt::LeftButton);
    EXPECT_TRUE(box.isVisible());
  }));
  EXPECT_EQ(opened, (std::vector<QString>{"https://quarvel.example.org",
                                          "mailto:support@quarvel.example.org"}));
}

TEST_F(AboutTest, TheCaptionsSpeakTheUsersLanguageAndNoLabelRunsIntoAnother) {
  const std::string german =
      "[Locale]\nProgram web site:=Programm-Website:\nContact us:=Kontakt:\n";
  dir.Write("Deutsch.quarvel.lang", std::vector<uint8_t>(german.begin(), german.end()));
  form = MakeForm();
  form->findChild<QMenu*>("Language1")->actions()[1]->trigger();
  EXPECT_TRUE(WithBox([&](TAboutBox& box) {
    auto* label1 = box.findChild<QLabel*>("Label1");
    auto* label3 = box.findChild<QLabel*>("Label3");
    EXPECT_EQ(label1->text(), "Programm-Website:");
    EXPECT_EQ(label3->text(), "Kontakt:");
    // Captions end before the addresses, and the addresses before the OK button.
    auto* label6 = box.findChild<QLabel*>("Label6");
    auto* label2 = box.findChild<QLabel*>("Label2");
    const QRect ok = box.findChild<QLabel*>("OKImage")->geometry();
    EXPECT_LT(label1->geometry().right(), label6->x());
    EXPECT_LT(label3->geometry().right(), label2->x());
    EXPECT_LT(label6->geometry().right(), ok.left());
    EXPECT_LT(label2->geometry().right(), ok.left());
  }));
}

}  // namespace
}  // namespace quarvel
