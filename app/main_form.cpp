#include "main_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <array>
#include <climits>

#include "instances.h"
#include "qt_language.h"
#include "widgets/dxdraw.h"
#include "widgets/preview_box.h"
#include "widgets/up_down.h"

// The glyphs live in a static library, whose resources must be registered by hand (outside any
// namespace).
static void InitGlyphs() {
  Q_INIT_RESOURCE(icons);
}

namespace quarvel {

namespace {

// The progress bar sits over status field 1: 153 px from the bar's left, 3 px from its top, 146 px
// wide, down to the bar's bottom edge.
constexpr int kProgressLeft = 153, kProgressTop = 3, kProgressWidth = 146;

QIcon Glyph(const QString& name) {
  QIcon icon;
  icon.addFile(":/icons/" + name + ".png", {}, QIcon::Normal);
  icon.addFile(":/icons/" + name + "-disabled.png", {}, QIcon::Disabled);
  return icon;
}

// The screen nearest to `r`: the one it overlaps most, or else the one whose centre is closest.
QScreen* NearestScreen(const QRect& r) {
  QScreen* best = QGuiApplication::primaryScreen();
  long long bestScore = LLONG_MIN;
  for (QScreen* s : QGuiApplication::screens()) {
    const QRect g = s->availableGeometry();
    const QRect overlap = g.intersected(r);
    const QPoint d = g.center() - r.center();
    const long long score = overlap.isEmpty() ? -(1LL * d.x() * d.x() + 1LL * d.y() * d.y())
                                              : 1LL * overlap.width() * overlap.height();
    if (score > bestScore) {
      best = s;
      bestScore = score;
    }
  }
  return best;
}

// `text` shown again in another language: `from` and `to` hold the same texts in the language
// shown and in the new one, "%s" standing for the number or size a text carries. A text that
// is none of them stays as it is.
QString TranslateShown(const QString& text, const QStringList& from, const QStringList& to) {
  for (qsizetype i = 0; i < from.size() && i < to.size(); ++i) {
    const qsizetype at = from[i].indexOf("%s");
    if (at < 0) {
      if (text == from[i]) return to[i];
      continue;
    }
    const QString before = from[i].left(at), after = from[i].mid(at + 2);
    const qsizetype middle = text.size() - before.size() - after.size();
    if (middle > 0 && text.startsWith(before) && text.endsWith(after))
      return QString(to[i]).replace("%s", text.mid(before.size(), middle));
  }
  return text;
}

}  // namespace

TMainForm::TMainForm(const FileLocations& locations, QWidget* parent)
    : QMainWindow(parent), locations_(locations) {
  InitGlyphs();
  feedback_.status = [this](int field, const std::string& text) {
    if (field >= 0 && field < 3) statusPanels_[field]->setText(QString::fromUtf8(text));
  };
  feedback_.progress = [this](int percent) { progressBar_->setValue(percent); };
  feedback_.processMessages = [this] { ProcessMessages(); };
  feedback_.translate = [this](const std::string& english) {
    return localizer_ ? localizer_->TranslateText(english) : english;
  };
  ws_.busyChanged = [this] { SetBusy(ws_.busy); };
  FormCreate();
}

TMainForm::~TMainForm() {
  qApp->removeEventFilter(this);
}

QString TMainForm::Tr(const char* english) const {
  return QString::fromUtf8(feedback_.Tr(english));
}

// Building the window, in the order its settings are applied.
void TMainForm::FormCreate() {
  lastMouseX_ = lastMouseY_ = 0;
  closing_ = settingsReady_ = false;
  setObjectName("MainForm");
  // Qt shows hints only in the active window: a window that was never clicked (just started,
  // or opened from a file manager that kept the focus) would show none, the splitter's included.
  setAttribute(Qt::WA_AlwaysShowToolTips);
  settingsFile_ = std::make_unique<SettingsFile>(locations_.Settings());
  props_ = ReadProps(*settingsFile_);
  if (props_.SingleInstance) EndOtherInstances();
  BuildMenus();
  BuildPanel();
  BuildStatusBar();

  PlaceOnScreen();
  if (props_.WindowState == kMaximized)
    setWindowState(Qt::WindowMaximized);
  else if (props_.WindowState == kMinimized)
    setWindowState(Qt::WindowMinimized);
  upDown4_->setValue(props_.PicWidth);
  upDown5_->setValue(props_.PicHeight);
  ws_.scene.ObjColor = props_.ObjColor;
  ws_.scene.LightColor = props_.LightColor;
  ws_.scene.DXDrawInitialize();
  showHints1_->setChecked(props_.Hints);
  showToolbar1_->setChecked(props_.ToolBar);
  toolBar_->setVisible(props_.ToolBar);
  qApp->installEventFilter(this);  // hints follow "Show hints"; Esc reaches FormKeyDown

  ws_.render.MaskWidth = upDown4_->value();
  ws_.render.MaskHeight = upDown5_->value();
  setAcceptDrops(true);
  recent_ = LoadRecent(*settingsFile_);
  RebuildRecentMenu();
  setWindowTitle(kCaption);
  BuildLanguageMenu();
  SetBusy(false);
  dxdraw_->setFocus();  // not the Width box, whose editing keys would hide the menus' keys

  auto* watcher = new TerminationWatcher(this);
  connect(watcher, &TerminationWatcher::terminateRequested, this, &TMainForm::CloseWhenIdle);

  QCoreApplication::processEvents();
  settingsReady_ = true;
}

void TMainForm::BuildMenus() {
  auto action = [this](QMenu* menu, const char* name, const QString& glyph, QKeySequence key,
                       void (TMainForm::*handler)()) {
    auto* a = menu->addAction(QString());
    a->setObjectName(name);
    if (!glyph.isEmpty()) a->setIcon(Glyph(glyph));
    a->setShortcut(key);
    if (handler) connect(a, &QAction::triggered, this, handler);
    return a;
  };
  file1_ = menuBar()->addMenu(QString());
  file1_->setObjectName("File1");
  open1_ = action(file1_, "Open1", "open", QKeySequence("Ctrl+O"), &TMainForm::DXDrawClick);
  save1_ = action(file1_, "Save1", "save", QKeySequence("Ctrl+S"), &TMainForm::Save1Click);
  export1_ = action(file1_, "ExportBMPSequence1", "export", QKeySequence("Ctrl+E"),
                    &TMainForm::ExportBMPSequence1Click);
  render1_ =
      action(file1_, "Render1", "render", QKeySequence("Ctrl+R"), &TMainForm::TestButtonClick);
  exit1_ = action(file1_, "Exit1", "exit", QKeySequence("Alt+X"), nullptr);
  connect(exit1_, &QAction::triggered, this, &QWidget::close);
  recentSeparator_ = file1_->addSeparator();

  view1_ = menuBar()->addMenu(QString());
  view1_->setObjectName("View1");
  showHints1_ = action(view1_, "Showhints1", {}, {}, &TMainForm::Showhints1Click);
  showHints1_->setCheckable(true);
  showToolbar1_ = action(view1_, "Showtoolbar1", {}, {}, &TMainForm::Showtoolbar1Click);
  showToolbar1_->setCheckable(true);
  options1_ =
      action(view1_, "Options1", "options", QKeySequence("Ctrl+P"), &TMainForm::OpsButtonClick);
  language1_ = view1_->addMenu(QString());
  language1_->setObjectName("Language1");

  help1_ = menuBar()->addMenu(QString());
  help1_->setObjectName("Help1");
  helpTopics1_ = action(help1_, "Helptopics1", "help", {}, &TMainForm::Helptopics1Click);
  onlineHelp1_ = action(help1_, "OnlineHelp1", {}, {}, &TMainForm::OnlineHelp1Click);
  website1_ = action(help1_, "Website1", {}, {}, &TMainForm::Website1Click);
  new QShortcut(QKeySequence(Qt::Key_F1), this, this, &TMainForm::FormHelp);
  about1_ = action(help1_, "About1", {}, QKeySequence("Ctrl+A"), &TMainForm::About1Click);

  toolBar_ = addToolBar(QString());
  toolBar_->setObjectName("ToolBar1");
  toolBar_->setMovable(false);
  toolBar_->setIconSize(QSize(20, 20));
  const std::pair<QAction*, const char*> buttons[] = {
      {open1_, "OpenButton"},   {save1_, "SaveButton"},   {export1_, "AnimButton"},
      {render1_, "TestButton"}, {options1_, "OpsButton"}, {helpTopics1_, "HelpButton"},
      {exit1_, "ExitButton"}};
  for (const auto& [a, name] : buttons) {
    toolBar_->addAction(a);
    toolBar_->widgetForAction(a)->setObjectName(name);
  }
}

void TMainForm::BuildPanel() {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  splitter_ = new QSplitter(Qt::Horizontal, central);
  splitter_->setObjectName("RxSplitter1");
  splitter_->setHandleWidth(4);
  splitter_->setChildrenCollapsible(false);
  auto* panel2 = new QWidget(splitter_);
  panel2->setObjectName("Panel2");
  panel2->setMinimumWidth(kSplitterLimit);
  auto* left = new QVBoxLayout(panel2);
  left->setContentsMargins(0, 0, 0, 0);
  dxdraw_ = new DXDraw(ws_.scene, panel2);
  left->addWidget(dxdraw_);
  connect(dxdraw_, &DXDraw::mouseDown, this, &TMainForm::DXDrawMouseDown);
  connect(dxdraw_, &DXDraw::mouseMove, this, &TMainForm::DXDrawMouseMove);
  connect(dxdraw_, &DXDraw::keyDown, this, &TMainForm::DXDrawKeyDown);
  panel1_ = new QWidget(splitter_);
  panel1_->setObjectName("Panel1");
  panel1_->setMinimumWidth(kSplitterLimit);
  auto* right = new QVBoxLayout(panel1_);
  right->setContentsMargins(0, 0, 0, 0);
  outBox_ = new OutBox(panel1_);
  right->addWidget(outBox_);
  splitter_->addWidget(panel2);
  splitter_->addWidget(panel1_);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 0);
  connect(splitter_, &QSplitter::splitterMoved, this,
          &TMainForm::FormResize);  // RxSplitter1PosChanged
  column->addWidget(splitter_, 1);

  panel4_ = new QWidget(central);
  panel4_->setObjectName("Panel4");
  panel4_->setFixedHeight(58);
  auto* row = new QHBoxLayout(panel4_);
  row->setContentsMargins(8, 4, 8, 4);  // the arrows need their whole height in the panel
  auto group = [&](QLabel*& caption, const char* name, const QStringList& names) {
    auto* box = new QVBoxLayout;
    caption = new QLabel(panel4_);
    caption->setObjectName(name);
    box->addWidget(caption);
    auto* controls = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
      auto* axis = new QLabel(QString("XYZ"[i]), panel4_);
      axisLabels_.push_back(axis);
      auto* arrows = new UpDown(names[i], panel4_);
      arrows_.push_back(arrows);
      controls->addWidget(axis);
      controls->addWidget(arrows);
      controls->addSpacing(6);
    }
    box->addLayout(controls);
    row->addLayout(box);
    row->addSpacing(16);
  };
  group(label4_, "Label4", {"UpDownX", "UpDownY", "UpDownZ"});
  group(label5_, "Label5", {"UpDown1", "UpDown2", "UpDown3"});
  const std::array<void (TMainForm::*)(int), 6> clicks = {
      &TMainForm::UpDownXClick, &TMainForm::UpDownYClick, &TMainForm::UpDownZClick,
      &TMainForm::UpDown1Click, &TMainForm::UpDown2Click, &TMainForm::UpDown3Click};
  for (size_t i = 0; i < clicks.size(); ++i)
    connect(arrows_[i], &UpDown::clicked, this, clicks[i]);
  auto size = [&](QLabel*& caption, const char* label, const char* spin, const char* edit) {
    auto* box = new QVBoxLayout;
    caption = new QLabel(panel4_);
    caption->setObjectName(label);
    auto* s = new QSpinBox(panel4_);
    s->setObjectName(spin);
    s->findChild<QLineEdit*>()->setObjectName(edit);
    s->setRange(kMinPicSize, kMaxPicSize);
    s->setMinimumWidth(80);
    connect(s, &QSpinBox::valueChanged, this, &TMainForm::SaveSettings);  // Edit3Change
    box->addWidget(caption);
    box->addWidget(s);
    row->addLayout(box);
    return s;
  };
  upDown4_ = size(label11_, "Label11", "UpDown4", "Edit3");
  upDown5_ = size(label12_, "Label12", "UpDown5", "Edit4");
  upDown4_->setValue(640);
  upDown5_->setValue(480);
  row->addStretch(1);
  column->addWidget(panel4_);
  setCentralWidget(central);
}

void TMainForm::BuildStatusBar() {
  auto* bar = statusBar();
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(false);
  for (int i = 0; i < 3; ++i) {
    statusPanels_[i] = new QLabel(bar);
    statusPanels_[i]->setObjectName(QString("StatusPanel%1").arg(i));
    // The last panel takes what is left, so that its longer texts are not cut.
    if (i < 2)
      statusPanels_[i]->setFixedWidth(150);
    else
      statusPanels_[i]->setMinimumWidth(150);
    bar->addWidget(statusPanels_[i], i == 2 ? 1 : 0);
  }
  progressBar_ = new QProgressBar(bar);
  progressBar_->setObjectName("ProgressBar");
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  progressBar_->setTextVisible(false);
  PlaceProgressBar();
}

void TMainForm::PlaceProgressBar() {
  const QStatusBar* bar = statusBar();
  progressBar_->setGeometry(kProgressLeft, kProgressTop, kProgressWidth,
                            std::max(1, bar->height() - kProgressTop));
}

void TMainForm::LocalizeControls() {
  label4_->setText(Tr("Rotation"));
  label5_->setText(Tr("Moving"));
  label11_->setText(Tr("Width"));
  label12_->setText(Tr("Height"));
  help1_->setTitle(Tr("&Help"));
  about1_->setText(Tr("&About"));
  file1_->setTitle(Tr("&File"));
  open1_->setText(Tr("&Open"));
  render1_->setText(Tr("&Render"));
  exit1_->setText(Tr("E&xit"));
  save1_->setText(Tr("&Save"));
  export1_->setText(Tr("&Export animation"));
  helpTopics1_->setText(Tr("Help &topics"));
  view1_->setTitle(Tr("&View"));
  showHints1_->setText(Tr("Show &hints"));
  showToolbar1_->setText(Tr("Show &toolbar"));
  onlineHelp1_->setText(Tr("Online H&elp"));
  website1_->setText(Tr("&Web Site"));
  options1_->setText(Tr("O&ptions"));
  language1_->setTitle(Tr("&Language"));

  dxdraw_->setToolTip(Tr("Imported 3D model"));
  dxdraw_->SetNoOpenGLText(Tr("The 3D view needs OpenGL, which this display does not offer."));
  splitter_->handle(1)->setToolTip(Tr("Press and drag to resize model and preview panels"));
  const char* arrowHints[] = {"Rotate model around X axis", "Rotate model around Y axis",
                              "Rotate model around Z axis", "Left-Right movement",
                              "Down-Up movement",           "From observer - to observer movement"};
  for (size_t i = 0; i < arrows_.size(); ++i)
    arrows_[i]->setToolTip(Tr(arrowHints[i]));
  upDown4_->setToolTip(Tr("Width of output mask"));
  upDown5_->setToolTip(Tr("Height of output mask"));
  outBox_->setToolTip(Tr("Depth mask preview"));
  save1_->setToolTip(Tr("Save depth mask"));
  open1_->setToolTip(Tr("Open 3d model file"));
  export1_->setToolTip(Tr("Export animation"));
  render1_->setToolTip(Tr("Render depth mask"));
  options1_->setToolTip(Tr("Show options dialog"));
  helpTopics1_->setToolTip(Tr("Help topics"));
  exit1_->setToolTip(Tr("Exit"));
  UseQtLanguage(LocaleOfLanguage(QString::fromStdString(CurrentLanguage(languages_)), Tr("en_US")));
  LocalizeStatus();
}

// The status bar's texts follow a change of language, keeping their numbers.
void TMainForm::LocalizeStatus() {
  const QStringList texts = {"%s" + Tr(" faces imported"), Tr(" Press ESC to skip"),
                             Tr("Processing faces..."), Tr("Drawing..."),
                             Tr("%s depth mask ready")};
  for (QLabel* panel : statusPanels_)
    panel->setText(TranslateShown(panel->text(), statusTexts_, texts));
  statusTexts_ = texts;
}

// The stored bounds, pulled back onto the nearest screen when they lie off every screen, and
// never below the size at which the control panel and the status bar stay whole.
void TMainForm::PlaceOnScreen() {
  const int statusWidth = kProgressLeft + kProgressWidth + statusPanels_[2]->minimumWidth() + 8;
  setMinimumSize(std::max(panel4_->minimumSizeHint().width(), statusWidth), 300);
  QRect r(props_.left, props_.top, std::max(props_.width, minimumWidth()),
          std::max(props_.height, minimumHeight()));
  if (const QScreen* s = NearestScreen(r)) {
    const QRect g = s->availableGeometry();
    r.setSize(r.size().boundedTo(g.size()).expandedTo(minimumSize()));
    r.moveLeft(std::clamp(r.left(), g.left(), std::max(g.left(), g.right() + 1 - r.width())));
    r.moveTop(std::clamp(r.top(), g.top(), std::max(g.top(), g.bottom() + 1 - r.height())));
  }
  move(r.topLeft());
  resize(r.size());
}

// A termination request: a message box or a file dialog waiting for the user is closed as if
// cancelled, then the window closes once the work under way has finished.
void TMainForm::CloseWhenIdle() {
  if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
    modal->close();
    QTimer::singleShot(0, this, &TMainForm::CloseWhenIdle);
  } else if (ws_.busy) {
    closePending_ = true;
  } else {
    close();
  }
}

void TMainForm::closeEvent(QCloseEvent* e) {
  if (ws_.busy) {  // the scene must not be torn down under a running load or render
    closePending_ = true;
    e->ignore();
    return;
  }
  closing_ = true;
  FormClose();
  e->accept();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* e) {
  for (const QUrl& url : e->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    e->acceptProposedAction();
    Open3DS(url.toLocalFile());  // the first dropped file only
    return;
  }
}

}  // namespace quarvel
