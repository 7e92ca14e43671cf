#include "main_form.h"

#include <array>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "dxdraw.h"
#include "instances.h"
#include "render/preview.h"
#include "render/preview_box.h"
#include "render/view_ops.h"
#include "scene/import_3ds.h"
#include "up_down.h"

// The glyphs live in a static library, whose resources must be registered by hand (outside any
// namespace).
static void InitGlyphs() {
  Q_INIT_RESOURCE(icons);
}

namespace quarvel {

namespace {

constexpr int kSplitterLimit = 20;  // each side of the splitter keeps at least this much

QString FolderOf(const QString& path) {
  return QFileInfo(path).absolutePath();
}

QIcon Glyph(const QString& name) {
  QIcon icon;
  icon.addFile(":/icons/" + name + ".png", {}, QIcon::Normal);
  icon.addFile(":/icons/" + name + "-disabled.png", {}, QIcon::Disabled);
  return icon;
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
  settingsFile_ = std::make_unique<SettingsFile>(locations_.Settings());
  props_ = ReadProps(*settingsFile_);
  if (props_.SingleInstance) EndOtherInstances();
  BuildMenus();
  BuildPanel();
  BuildStatusBar();

  move(props_.left, props_.top);
  resize(props_.width, props_.height);
  if (props_.WindowState == kMaximized)
    setWindowState(Qt::WindowMaximized);
  else if (props_.WindowState == kMinimized)
    setWindowState(Qt::WindowMinimized);
  upDown4_->setValue(props_.PicWidth);
  upDown5_->setValue(props_.PicHeight);
  scene_.ObjColor = props_.ObjColor;
  scene_.LightColor = props_.LightColor;
  scene_.DXDrawInitialize();
  showHints1_->setChecked(props_.Hints);
  showToolbar1_->setChecked(props_.ToolBar);
  toolBar_->setVisible(props_.ToolBar);
  qApp->installEventFilter(this);  // hints follow "Show hints"; Esc reaches FormKeyDown

  render_.MaskWidth = upDown4_->value();
  render_.MaskHeight = upDown5_->value();
  setAcceptDrops(true);
  recent_ = LoadRecent(*settingsFile_);
  RebuildRecentMenu();
  setWindowTitle(kCaption);
  BuildLanguageMenu();
  SetBusy(false);

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
  // The animation window comes with the animation export; the command stands here already.
  export1_ = action(file1_, "ExportBMPSequence1", "export", QKeySequence("Ctrl+E"), nullptr);
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
  options1_ = action(view1_, "Options1", "options", QKeySequence("Ctrl+P"), nullptr);
  language1_ = view1_->addMenu(QString());
  language1_->setObjectName("Language1");

  help1_ = menuBar()->addMenu(QString());
  help1_->setObjectName("Help1");
  helpTopics1_ = action(help1_, "Helptopics1", "help", {}, nullptr);
  onlineHelp1_ = action(help1_, "OnlineHelp1", {}, {}, nullptr);
  website1_ = action(help1_, "Website1", {}, {}, nullptr);
  about1_ = action(help1_, "About1", {}, QKeySequence("Ctrl+A"), nullptr);

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
  dxdraw_ = new DXDraw(scene_, panel2);
  left->addWidget(dxdraw_);
  connect(dxdraw_, &DXDraw::mouseDown, this, &TMainForm::DXDrawMouseDown);
  connect(dxdraw_, &DXDraw::mouseMove, this, &TMainForm::DXDrawMouseMove);
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
  progressBar_ = new QProgressBar(statusPanels_[1]);
  progressBar_->setObjectName("ProgressBar");
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  progressBar_->setTextVisible(false);
  progressBar_->setGeometry(2, 3, 146, 14);
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
}

void TMainForm::BuildLanguageMenu() {
  languages_ = quarvel::BuildLanguageMenu(ListLanguageFiles(locations_.exeDir), props_.language);
  language1_->clear();
  language1_->menuAction()->setVisible(!languages_.empty());
  for (size_t i = 0; i < languages_.size(); ++i) {
    auto* a = language1_->addAction(QString::fromUtf8(languages_[i].caption));
    a->setCheckable(true);
    a->setChecked(languages_[i].checked);
    connect(a, &QAction::triggered, this, [this, i] { LanguageMenuClick(i); });
  }
  localizer_ = std::make_unique<TLocalizer>(locations_.LanguageFile(CurrentLanguage(languages_)));
  localizer_->SetSection("Locale");
  LocalizeControls();
}

void TMainForm::LanguageMenuClick(size_t index) {
  CheckLanguage(languages_, index);
  const auto entries = language1_->actions();
  for (int i = 0; i < entries.size(); ++i)
    entries[i]->setChecked(languages_[size_t(i)].checked);
  localizer_ = std::make_unique<TLocalizer>(locations_.LanguageFile(languages_[index].caption));
  localizer_->SetSection("Locale");
  LocalizeControls();
}

void TMainForm::RebuildRecentMenu() {
  for (QAction* a : recentActions_)
    file1_->removeAction(a), a->deleteLater();
  recentActions_.clear();
  recentSeparator_->setVisible(!recent_.empty());
  for (size_t i = 0; i < recent_.size(); ++i) {
    const QString path = QString::fromStdString(recent_[i]);
    auto* a = file1_->addAction(QString("&%1\t%2").arg(i + 1).arg(QFileInfo(path).fileName()));
    a->setObjectName(QString("MRU%1").arg(i + 1));
    connect(a, &QAction::triggered, this, [this, path] { MRUClick(path); });
    recentActions_.push_back(a);
  }
}

void TMainForm::MRUClick(const QString& path) {
  if (QFileInfo(path).isFile()) Open3DS(path);
}

void TMainForm::SetBusy(bool busy) {
  busy_ = busy;
  open1_->setEnabled(!busy);
  options1_->setEnabled(!busy);
  panel4_->setEnabled(!busy);
  render1_->setEnabled(scene_.ModelLoaded && !busy);
  export1_->setEnabled(scene_.ModelLoaded && !busy);
  save1_->setEnabled(render_.MaskReady && !busy);
  if (!busy && closePending_) QTimer::singleShot(0, this, &QWidget::close);
}

void TMainForm::ProcessMessages() {
  // The import calls this for every face: look at the clock only every few calls.
  if (++pumpCounter_ % 4 != 0) return;
  if (pumpTimer_.isValid() && pumpTimer_.elapsed() < pumpIntervalMs_) return;
  QCoreApplication::processEvents();
  pumpTimer_.start();
}

void TMainForm::Open3DS(const QString& fileName) {
  if (busy_) return;  // a second load must not start while one runs
  const std::string name = QFile::encodeName(fileName).toStdString();  // the bytes on disk
  if (const std::string error = IsSupportedFile(name); !error.empty()) {
    ShowError(Tr(error.c_str()));
    return;
  }
  SetBusy(true);
  const ImportResult result = LoadModel(scene_, name, feedback_);
  Redraw();
  if (!result.ok) ShowError(QString::fromUtf8(result.error.Message(feedback_)));
  SetBusy(false);
  setWindowTitle(kCaption);
  if (scene_.ModelLoaded)
    setWindowTitle(QString(kCaption) + " : " + QFileInfo(fileName).fileName());
}

void TMainForm::OpenCommandLine(const QStringList& arguments) {
  if (arguments.size() < 2 || arguments[1].isEmpty()) return;
  QStringList parts = arguments.mid(1);
  parts.removeAll(QString());
  Open3DS(parts.join(' '));
}

void TMainForm::DXDrawClick() {
  if (busy_) return;
  const QString file =
      QFileDialog::getOpenFileName(this, Tr("&Open"), QString::fromStdString(props_.OpenDir),
                                   "3DS file (*.3DS *.3ds);;All files (*)");
  if (file.isEmpty()) return;
  Open3DS(file);
  props_.OpenDir = FolderOf(file).toStdString();
  AddRecent(recent_, file.toStdString());
  RebuildRecentMenu();
}

void TMainForm::TestButtonClick() {
  if (busy_ || !scene_.ModelLoaded) return;
  SetBusy(true);
  rendering_ = true;
  RenderObject(scene_, render_, mask_, upDown4_->value(), upDown5_->value(), feedback_);
  rendering_ = false;
  // Mesh moves dragged during the render, in the order they were made.
  if (!pendingMeshMoves_.empty()) {
    for (const Vec3& move : pendingMeshMoves_)
      MoveMesh(scene_, move.x, move.y, move.z);
    pendingMeshMoves_.clear();
    Redraw();
  }
  UpdatePreview();
  SetBusy(false);
}

void TMainForm::UpdatePreview() {
  if (mask_.Width() < 1 || mask_.Height() < 1 || outBox_->width() < 1 || outBox_->height() < 1)
    return;
  feedback_.Status(2, feedback_.Tr("Drawing..."));
  const QSize screenSize = screen() ? screen()->size() : QSize(1024, 768);
  const Size2 size =
      PreviewSize({mask_.Width(), mask_.Height()}, {outBox_->width(), outBox_->height()},
                  {screenSize.width(), screenSize.height()});
  QImage picture(size.w, size.h, QImage::Format_Indexed8);
  QList<QRgb> greys(256);
  for (int i = 0; i < 256; ++i)
    greys[i] = qRgb(i, i, i);
  picture.setColorTable(greys);
  const std::vector<uint8_t> pixels = SamplePreview(mask_, size);
  for (int y = 0; y < size.h; ++y)
    std::copy_n(pixels.data() + size_t(y) * size_t(size.w), size.w, picture.scanLine(y));
  outBox_->SetPicture(std::move(picture));
  const QString ready = QString("%1 x %2").arg(mask_.Width()).arg(mask_.Height());
  statusPanels_[2]->setText(Tr("%s depth mask ready").replace("%s", ready));
}

void TMainForm::Save1Click() {
  if (busy_ || !render_.MaskReady) return;
  QFileDialog dialog(this, Tr("&Save"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("bmp");
  dialog.setNameFilter("BitMap Files (*.bmp)");
  dialog.setDirectory(QString::fromStdString(props_.SaveDir));
  dialog.selectFile(lastSaveName_);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString file = dialog.selectedFiles().first();
  lastSaveName_ = QFileInfo(file).fileName();
  SaveMask(file);
}

bool TMainForm::SaveMask(const QString& fileName) {
  if (const ErrorText error = mask_.SaveToFile(QFile::encodeName(fileName).toStdString());
      !error.empty()) {
    ShowError(QString::fromUtf8(error.Message(feedback_)));
    return false;
  }
  props_.SaveDir = FolderOf(fileName).toStdString();
  return true;
}

void TMainForm::SetRotation(float x, float y, float z, float theta) {
  scene_.ModelFrame->SetRotation(x, y, z, theta);
}

// The arrow controls: position 1 is the left arrow, 3 the right one.
void TMainForm::UpDownXClick(int position) {
  UpDownRotateClick(1, 0, 0, position);
}
void TMainForm::UpDownYClick(int position) {
  UpDownRotateClick(0, 1, 0, position);
}
void TMainForm::UpDownZClick(int position) {
  UpDownRotateClick(0, 0, 1, position);
}
void TMainForm::UpDown1Click(int position) {
  UpDownMoveClick(0, position);
}
void TMainForm::UpDown2Click(int position) {
  UpDownMoveClick(1, position);
}
void TMainForm::UpDown3Click(int position) {
  UpDownMoveClick(2, position);
}

void TMainForm::UpDownRotateClick(float x, float y, float z, int position) {
  if (!dxdraw_->CanDraw()) return;
  TurnModel(scene_, x, y, z, position > 2 ? -kClickAngle : kClickAngle);
  Redraw();
}

void TMainForm::UpDownMoveClick(int axis, int position) {
  if (!dxdraw_->CanDraw()) return;
  const float s = MoveStep(scene_.FitScale) * (position > 2 ? 1.0f : -1.0f);
  if (axis == 2)
    MoveFrameZ(scene_, s);
  else
    MoveMesh(scene_, axis == 0 ? s : 0, axis == 1 ? s : 0, 0);
  Redraw();
}

void TMainForm::DXDrawMouseDown(QPoint pos) {
  lastMouseX_ = pos.x();
  lastMouseY_ = pos.y();
}

void TMainForm::DXDrawMouseMove(QPoint pos, Qt::MouseButtons buttons,
                                Qt::KeyboardModifiers modifiers) {
  if ((pos.x() == lastMouseX_ && pos.y() == lastMouseY_) || !dxdraw_->CanDraw()) return;
  float a = Store((lastMouseY_ - pos.y()) * 0.1);
  float b = Store((lastMouseX_ - pos.x()) * 0.1);
  if (buttons & Qt::LeftButton) {
    TurnModel(scene_, a, b, 0, kClickAngle);  // about an axis in the view plane, across the drag
  } else if (buttons & Qt::RightButton) {
    a = Store(double(a) * scene_.FitScale);
    b = Store(double(b) * scene_.FitScale);
    if (modifiers & Qt::ShiftModifier)
      MoveMesh(scene_, 0, 0, a);
    else
      MoveMesh(scene_, -b, a, 0);
  }
  Redraw();
  lastMouseX_ = pos.x();
  lastMouseY_ = pos.y();
}

void TMainForm::Redraw() {
  dxdraw_->update();
}

void TMainForm::Showhints1Click() {
  props_.Hints = showHints1_->isChecked();
  SaveSettings();
}

void TMainForm::Showtoolbar1Click() {
  toolBar_->setVisible(showToolbar1_->isChecked());
  Redraw();
  SaveSettings();
}

// The splitter takes the stored position once the window has its real size: sizes given before
// that are scaled by Qt's first layout.
void TMainForm::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (splitterPlaced_) return;
  splitterPlaced_ = true;
  PlaceSplitter(props_.Splitter);
}

void TMainForm::PlaceSplitter(int previewWidth) {
  const int total = splitter_->width() - splitter_->handleWidth();
  const int right =
      std::clamp(previewWidth, kSplitterLimit, std::max(kSplitterLimit, total - kSplitterLimit));
  splitter_->setSizes({std::max(total - right, kSplitterLimit), right});
}

void TMainForm::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  FormResize();
}

void TMainForm::FormResize() {
  if (!closing_ && splitter_) {
    const int limit = width() - kSplitterLimit;
    if (splitterPlaced_ && limit < panel1_->width() && limit >= kSplitterLimit)
      PlaceSplitter(limit);
    Redraw();
    UpdatePreview();
  }
  SaveSettings();
}

Props TMainForm::CurrentProps() const {
  Props p = props_;
  p.WindowState = isMaximized() ? kMaximized : isMinimized() ? kMinimized : kNormal;
  p.left = pos().x();
  p.top = pos().y();
  p.width = width();
  p.height = height();
  p.PicWidth = upDown4_->value();
  p.PicHeight = upDown5_->value();
  if (splitterPlaced_) p.Splitter = panel1_->width();  // before that, Qt's first layout
  p.Hints = showHints1_->isChecked();
  p.ToolBar = showToolbar1_->isChecked();
  p.ObjColor = scene_.ObjColor;
  p.LightColor = scene_.LightColor;
  p.language = CurrentLanguage(languages_);
  return p;
}

void TMainForm::SaveSettings() {
  try {
    quarvel::SaveSettings(settingsFile_.get(), settingsReady_, CurrentProps());
    settingsErrorShown_ = false;
  } catch (const SettingsWriteError& e) {
    // Saves follow every resize step: one message until a save succeeds again, not one per step.
    if (!settingsErrorShown_) ShowError(QString::fromUtf8(e.error.Message(feedback_)));
    settingsErrorShown_ = true;
  }
}

void TMainForm::ShowError(const QString& text) {
  if (errorHook)
    errorHook(text);
  else
    QMessageBox::critical(this, Tr("Error"), text);
}

// Esc asks a running import to stop, whichever control has the keyboard.
void TMainForm::FormKeyDown(int key) {
  if (key == Qt::Key_Escape) AbortRequested = -1;
}

void TMainForm::CloseWhenIdle() {
  if (busy_)
    closePending_ = true;
  else
    close();
}

void TMainForm::closeEvent(QCloseEvent* e) {
  if (busy_) {  // the scene must not be torn down under a running load or render
    closePending_ = true;
    e->ignore();
    return;
  }
  closing_ = true;
  FormClose();
  e->accept();
}

void TMainForm::FormClose() {
  if (!settingsFile_) return;
  SaveSettings();
  try {
    SaveRecent(*settingsFile_, recent_);
  } catch (const SettingsWriteError&) {
    // Closing goes on: the failure was reported by the save just before.
  }
  settingsFile_.reset();
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

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::KeyPress) FormKeyDown(static_cast<QKeyEvent*>(e)->key());
  // With "Show hints" off no hint shows, but for the splitter's.
  if (e->type() == QEvent::ToolTip && !showHints1_->isChecked() && watched != splitter_->handle(1))
    return true;
  return QMainWindow::eventFilter(watched, e);
}

}  // namespace quarvel
