#include "main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <climits>

#include "instances.h"
#include "qt_language.h"
#include "widgets/preview_box.h"

// The glyphs live in a static library, whose resources must be registered by hand (outside any
// namespace).
static void InitGlyphs() {
  Q_INIT_RESOURCE(icons);
}

namespace quarvel {

namespace {

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

// The stored bounds, pulled back onto the nearest screen when they lie off every screen, and
// never below the size at which the control panel and the status bar stay whole.
void PlaceOnScreen(QWidget& window, const Props& props, int minimumWidth) {
  window.setMinimumSize(minimumWidth, 300);
  QRect r(props.left, props.top, std::max(props.width, window.minimumWidth()),
          std::max(props.height, window.minimumHeight()));
  if (const QScreen* s = NearestScreen(r)) {
    const QRect g = s->availableGeometry();
    r.setSize(r.size().boundedTo(g.size()).expandedTo(window.minimumSize()));
    r.moveLeft(std::clamp(r.left(), g.left(), std::max(g.left(), g.right() + 1 - r.width())));
    r.moveTop(std::clamp(r.top(), g.top(), std::max(g.top(), g.bottom() + 1 - r.height())));
  }
  window.move(r.topLeft());
  window.resize(r.size());
}

}  // namespace

TMainForm::TMainForm(const FileLocations& locations, QWidget* parent)
    : QMainWindow(parent), locations_(locations) {
  InitGlyphs();
  feedback_.status = [this](int field, const std::string& text) {
    status_->SetText(field, QString::fromUtf8(text));
  };
  feedback_.progress = [this](int percent) { status_->SetProgress(percent); };
  feedback_.processMessages = [this] { pump.Pump(); };
  feedback_.translate = [this](const std::string& english) {
    return languages_ ? languages_->Translate(english) : english;
  };
  ws_.busyChanged = [this] { SetBusy(ws_.busy); };
  FormCreate();
}

TMainForm::~TMainForm() = default;

QString TMainForm::Tr(const char* english) const {
  return QString::fromUtf8(feedback_.Tr(english));
}

// Building the window, in the order its settings are applied.
void TMainForm::FormCreate() {
  setObjectName("MainForm");
  // Qt shows hints only in the active window: a window that was never clicked (just started,
  // or opened from a file manager that kept the focus) would show none, the splitter's included.
  setAttribute(Qt::WA_AlwaysShowToolTips);
  auto report = [this](const ErrorText& e) {
    ShowError(QString::fromUtf8(e.MessageWithReason(feedback_)));
  };
  settings_ = std::make_unique<FormSettings>(locations_.Settings(), report);
  const Props& props = settings_->props();
  if (props.SingleInstance) EndOtherInstances();
  menus_ = BuildMainMenus(*this);
  BuildCentralWidget();
  status_ = new StatusFields(statusBar());
  view_ = new ViewControl(ws_, panes_->view(), panel_->arrows, this);
  recent_ = new RecentFiles(menus_.file, menus_.recentSeparator,
                            [this](const QString& path) { Open3DS(path); });
  languages_ = new LanguageMenu(menus_.language, locations_, [this] { LocalizeControls(); });
  help_ = std::make_unique<HelpCommands>(locations_.exeDir, feedback_, report);
  ConnectMenus();

  PlaceOnScreen(*this, props, std::max(panel_->minimumSizeHint().width(), status_->MinimumWidth()));
  if (props.WindowState == kMaximized)
    setWindowState(Qt::WindowMaximized);
  else if (props.WindowState == kMinimized)
    setWindowState(Qt::WindowMinimized);
  panel_->maskWidth->setValue(props.PicWidth);
  panel_->maskHeight->setValue(props.PicHeight);
  ws_.scene.ObjColor = props.ObjColor;
  ws_.scene.LightColor = props.LightColor;
  ws_.scene.DXDrawInitialize();
  menus_.showHints->setChecked(props.Hints);
  menus_.showToolbar->setChecked(props.ToolBar);
  menus_.toolBar->setVisible(props.ToolBar);
  new WindowKeys(this, menus_.showHints, panes_->handle(1));

  ws_.render.MaskWidth = panel_->maskWidth->value();
  ws_.render.MaskHeight = panel_->maskHeight->value();
  setAcceptDrops(true);
  recent_->Set(settings_->Recent());
  setWindowTitle(kCaption);
  languages_->Build(props.language);
  SetBusy(false);
  panes_->view()->setFocus();  // not the Width box, whose editing keys would hide the menus' keys

  auto* watcher = new TerminationWatcher(this);
  connect(watcher, &TerminationWatcher::terminateRequested, this, &TMainForm::CloseWhenIdle);

  QCoreApplication::processEvents();
  settings_->SetReady();
}

// The 3D view and the preview side by side over the control panel.
void TMainForm::BuildCentralWidget() {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  panes_ = new Panes(ws_.scene, central);
  connect(panes_, &QSplitter::splitterMoved, this, &TMainForm::FormResize);
  column->addWidget(panes_, 1);
  panel_ = new ControlPanel(central);
  connect(panel_->maskWidth, &QSpinBox::valueChanged, this, &TMainForm::SaveSettings);
  connect(panel_->maskHeight, &QSpinBox::valueChanged, this, &TMainForm::SaveSettings);
  column->addWidget(panel_);
  setCentralWidget(central);
}

void TMainForm::ConnectMenus() {
  const std::pair<QAction*, void (TMainForm::*)()> commands[] = {
      {menus_.open, &TMainForm::DXDrawClick},
      {menus_.save, &TMainForm::Save1Click},
      {menus_.exportAnimation, &TMainForm::ExportBMPSequence1Click},
      {menus_.render, &TMainForm::TestButtonClick},
      {menus_.options, &TMainForm::OpsButtonClick},
      {menus_.about, &TMainForm::About1Click}};
  for (const auto& [action, handler] : commands)
    connect(action, &QAction::triggered, this, handler);
  connect(menus_.exit, &QAction::triggered, this, &QWidget::close);
  connect(menus_.showHints, &QAction::triggered, this, &TMainForm::SaveSettings);
  connect(menus_.showToolbar, &QAction::triggered, this, [this] {
    menus_.toolBar->setVisible(menus_.showToolbar->isChecked());
    view_->Redraw();
    SaveSettings();
  });
  HelpCommands* help = help_.get();
  connect(menus_.helpTopics, &QAction::triggered, this, [help] { help->Helptopics1Click(); });
  connect(menus_.onlineHelp, &QAction::triggered, this, [help] { help->OnlineHelp1Click(); });
  connect(menus_.webSite, &QAction::triggered, this, [help] { help->Website1Click(); });
  new QShortcut(QKeySequence(Qt::Key_F1), this, this, [help] { help->FormHelp(); });
}

void TMainForm::LocalizeControls() {
  const auto tr = [this](const char* english) { return Tr(english); };
  panel_->Localize(tr);
  LocalizeMenus(menus_, tr);
  panes_->view()->setToolTip(Tr("Imported 3D model"));
  panes_->view()->SetNoOpenGLText(
      Tr("The 3D view needs OpenGL, which this display does not offer."));
  panes_->handle(1)->setToolTip(Tr("Press and drag to resize model and preview panels"));
  panes_->preview()->setToolTip(Tr("Depth mask preview"));
  UseQtLanguage(LocaleOfLanguage(QString::fromStdString(languages_->Current()), Tr("en_US")));
  status_->Localize(tr);
}

// The splitter takes the stored position once the window has its real size: sizes given before
// that are scaled by Qt's first layout.
void TMainForm::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  panes_->PlaceOnShow(settings_->props().Splitter);
}

void TMainForm::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  FormResize();
}

// The window or the splitter changed size: the preview pane never keeps more than the window
// leaves the 3D view, and both panes are drawn again.
void TMainForm::FormResize() {
  if (!closing_ && panes_) {
    panes_->FitWidth(width());
    view_->Redraw();
    UpdatePreview();
  }
  SaveSettings();
}

// A termination request: a message box or a file dialog waiting for the user is closed as if
// cancelled, then the window closes once the work under way, which the request cancelled, has
// returned.
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

// The settings and the recent files in one replacement of the file.
void TMainForm::FormClose() {
  settings_->Close(CurrentProps(), recent_->list());
}

void TMainForm::SaveSettings() {
  settings_->Save(CurrentProps());
}

Props TMainForm::CurrentProps() const {
  Props p = settings_->props();
  p.WindowState = isMaximized() ? kMaximized : isMinimized() ? kMinimized : kNormal;
  p.left = pos().x();
  p.top = pos().y();
  p.width = width();
  p.height = height();
  p.PicWidth = panel_->maskWidth->value();
  p.PicHeight = panel_->maskHeight->value();
  // The pane's real width once placed; before that (Qt's first layout), the stored width as the
  // window will allow it.
  p.Splitter = panes_->placed() ? panes_->PreviewWidth()
                                : std::clamp(p.Splitter, kSplitterLimit,
                                             std::max(kSplitterLimit, width() - kSplitterLimit));
  p.Hints = menus_.showHints->isChecked();
  p.ToolBar = menus_.showToolbar->isChecked();
  p.ObjColor = ws_.scene.ObjColor;
  p.LightColor = ws_.scene.LightColor;
  p.language = languages_->Current();
  return p;
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
