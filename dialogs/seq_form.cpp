#include "seq_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <new>

#include "dialogs/compress_dialog.h"
#include "dialogs/dialogs.h"
#include "session/compressor_data.h"
#include "settings/props.h"

namespace quarvel {

namespace {

QSpinBox* Spin(QWidget* parent, const char* name, int lo, int hi, int value) {
  auto* s = new QSpinBox(parent);
  s->setObjectName(name);
  s->setRange(lo, hi);
  s->setValue(value);
  return s;
}

}  // namespace

TSeqForm::TSeqForm(QWidget* parent, AnimationHost host) : QDialog(parent), host_(std::move(host)) {
  FormCreate();
}

TSeqForm::~TSeqForm() {
  SaveSettings();
  EndAnimation(host_.ws);
}

QString TSeqForm::Tr(const char* english) const {
  return QString::fromStdString(host_.feedback.Tr(english));
}

// Start-up: the stored settings, the depth range of the animation shown in one render, the
// compressor's name, the texts in the user's language.
void TSeqForm::FormCreate() {
  setObjectName("SeqForm");
  BuildControls();
  LoadSettings();
  BeginAnimation(host_.ws, Params());
  if (host_.render) host_.render();
  statusLabel_->clear();
  codecLabel_->setText(Tr(writer_.GetCodecName().c_str()).replace("\n\r", "\n"));
  LocalizeControls();
  FPSEditChange();
}

void TSeqForm::BuildControls() {
  setWindowTitle("Animation Settings");
  auto* outer = new QHBoxLayout(this);
  panel1_ = new QWidget(this);
  panel1_->setObjectName("Panel1");
  auto* column = new QVBoxLayout(panel1_);
  column->setContentsMargins(0, 0, 0, 0);

  rotationBox_ = new QGroupBox("Rotation Parameters", panel1_);
  rotationBox_->setObjectName("RotationBox");
  auto* rotation = new QGridLayout(rotationBox_);
  auto turns = [&](QLabel*& label, QSpinBox*& spin, int row, const char* caption, const char* name,
                   const char* edit, int value) {
    label = new QLabel(caption, rotationBox_);
    spin = Spin(rotationBox_, name, -100, 100, value);
    spin->findChild<QLineEdit*>()->setObjectName(edit);
    rotation->addWidget(label, row, 0);
    rotation->addWidget(spin, row, 1);
  };
  turns(label2_, xUpDown_, 0, "X evolutions per cycle", "XUpDown", "Edit2", 0);
  turns(label3_, yUpDown_, 1, "Y evolutions per cycle", "YUpDown", "Edit3", 1);
  turns(label4_, zUpDown_, 2, "Z evolutions per cycle", "ZUpDown", "Edit4", 0);
  column->addWidget(rotationBox_);

  exportRadioGroup_ = new QGroupBox("Export Mode", panel1_);
  exportRadioGroup_->setObjectName("ExportRadioGroup");
  auto* modes = new QVBoxLayout(exportRadioGroup_);
  bmpItem_ = new QRadioButton("In BMP sequence", exportRadioGroup_);
  bmpItem_->setObjectName("BmpItem");
  aviItem_ = new QRadioButton("In AVI file", exportRadioGroup_);
  aviItem_->setObjectName("AviItem");
  exportItems_ = new QButtonGroup(this);
  exportItems_->addButton(bmpItem_, 0);
  exportItems_->addButton(aviItem_, 1);
  modes->addWidget(bmpItem_);
  modes->addWidget(aviItem_);
  connect(exportItems_, &QButtonGroup::idClicked, this, &TSeqForm::ExportRadioGroupClick);
  column->addWidget(exportRadioGroup_);

  aviBox_ = new QGroupBox("AVI Parameters", panel1_);
  aviBox_->setObjectName("AviBox");
  auto* avi = new QGridLayout(aviBox_);
  label5_ = new QLabel("Frame rate (fps)", aviBox_);
  fpsUpDown_ = Spin(aviBox_, "FPSUpDown", 0, 40, 25);
  compressButton_ = new QPushButton("Com&pression", aviBox_);
  compressButton_->setObjectName("CompressButton");
  codecLabel_ = new QLabel("Uncompressed", aviBox_);
  codecLabel_->setObjectName("CodecLabel");
  avi->addWidget(label5_, 0, 0);
  avi->addWidget(fpsUpDown_, 0, 1);
  avi->addWidget(compressButton_, 1, 0);
  avi->addWidget(codecLabel_, 1, 1);
  connect(compressButton_, &QPushButton::clicked, this, &TSeqForm::CompressButtonClick);
  connect(fpsUpDown_, &QSpinBox::valueChanged, this, &TSeqForm::FPSEditChange);
  column->addWidget(aviBox_);

  auto* length = new QGridLayout;
  label1_ = new QLabel("Number of frames", panel1_);
  lengthUpDown_ = Spin(panel1_, "LengthUpDown", kMinFrames, kMaxFrames, 60);
  lengthLabel_ = new QLabel(panel1_);
  lengthLabel_->setObjectName("LengthLabel");
  length->addWidget(label1_, 0, 0);
  length->addWidget(lengthUpDown_, 0, 1);
  length->addWidget(lengthLabel_, 1, 0, 1, 2);
  connect(lengthUpDown_, &QSpinBox::valueChanged, this, &TSeqForm::FPSEditChange);
  column->addLayout(length);

  scaleGroup_ = new QGroupBox("Scaling Mode", panel1_);
  scaleGroup_->setObjectName("ScaleGroup");
  auto* scale = new QHBoxLayout(scaleGroup_);
  auto check = [&](const char* caption, const char* name) {
    auto* c = new QCheckBox(caption, scaleGroup_);
    c->setObjectName(name);
    scale->addWidget(c);
    return c;
  };
  scaleXCheck_ = check("by X", "ScaleXCheck");
  scaleYCheck_ = check("by Y", "ScaleYCheck");
  scaleZCheck_ = check("by Z", "ScaleZCheck");
  column->addWidget(scaleGroup_);

  statusLabel_ = new QLabel(panel1_);
  statusLabel_->setObjectName("StatusLabel");
  statusLabel_->setWordWrap(true);
  progress_ = new QProgressBar(panel1_);
  progress_->setObjectName("Progress");
  progress_->setTextVisible(false);
  column->addWidget(statusLabel_);
  column->addWidget(progress_);
  outer->addWidget(panel1_, 1);

  auto* buttons = new QVBoxLayout;
  auto button = [&](const char* caption, const char* name, void (TSeqForm::*handler)()) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, handler);
    buttons->addWidget(b);
    return b;
  };
  nextButton_ = button("&Render", "NextButton", &TSeqForm::NextButtonClick);
  cancelButton_ = button("&Cancel", "CancelButton", &TSeqForm::CancelButtonClick);
  closeButton_ = button("E&xit", "CloseButton", &TSeqForm::CloseButtonClick);
  cancelButton_->setEnabled(false);
  buttons->addStretch(1);
  outer->addLayout(buttons);
  setSizeGripEnabled(false);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  for (QSpinBox* s : findChildren<QSpinBox*>())
    s->installEventFilter(this);
}

// The number boxes would keep Alt with a letter from the buttons whose letter it is.
bool TSeqForm::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::ShortcutOverride &&
      (static_cast<QKeyEvent*>(e)->modifiers() & Qt::AltModifier)) {
    e->ignore();
    return true;
  }
  return QDialog::eventFilter(watched, e);
}

// Every text by its English design text, in the user's language.
void TSeqForm::LocalizeControls() {
  setWindowTitle(Tr("Animation Settings"));
  label1_->setText(Tr("Number of frames"));
  label2_->setText(Tr("X evolutions per cycle"));
  label3_->setText(Tr("Y evolutions per cycle"));
  label4_->setText(Tr("Z evolutions per cycle"));
  label5_->setText(Tr("Frame rate (fps)"));
  lengthUpDown_->setToolTip(Tr("The length of AVI file in frames"));
  fpsUpDown_->setToolTip(Tr("Number of frames per second in AVI file"));
  nextButton_->setToolTip(Tr("Export AVI or BMP sequence"));
  nextButton_->setText(Tr("&Render"));
  closeButton_->setText(Tr("E&xit"));
  compressButton_->setToolTip(Tr("This button calls compression dialog"));
  compressButton_->setText(Tr("Com&pression"));
  cancelButton_->setText(Tr("&Cancel"));
  exportRadioGroup_->setToolTip(Tr("Export mode"));
  exportRadioGroup_->setTitle(Tr("Export Mode"));
  bmpItem_->setText(Tr("In BMP sequence"));
  aviItem_->setText(Tr("In AVI file"));
  rotationBox_->setToolTip(Tr("Rotation parameters of 3D object"));
  rotationBox_->setTitle(Tr("Rotation Parameters"));
  aviBox_->setTitle(Tr("AVI Parameters"));
  scaleGroup_->setToolTip(Tr("Check one or more boxes to select scaling mode"));
  scaleGroup_->setTitle(Tr("Scaling Mode"));
  scaleXCheck_->setText(Tr("by X"));
  scaleYCheck_->setText(Tr("by Y"));
  scaleZCheck_->setText(Tr("by Z"));
}

void TSeqForm::LoadSettings() {
  const VideoSettings v = host_.settings ? ReadVideoSettings(*host_.settings) : VideoSettings{};
  writer_.SetCompressOptions(LoadCompressOptions(v, host_.compressorDataPath));
  // Only item 0 means a BMP sequence; a stored value below 0 selects no item.
  exportItems_->setExclusive(false);
  bmpItem_->setChecked(v.ExportMode == 0);
  aviItem_->setChecked(v.ExportMode > 0);
  exportItems_->setExclusive(true);
  ExportRadioGroupClick();
  // The controls bring values outside their ranges to the nearest bound.
  fpsUpDown_->setValue(v.FrameRate);
  lengthUpDown_->setValue(v.NumFrames);
  xUpDown_->setValue(v.XCyrcle);
  yUpDown_->setValue(v.YCyrcle);
  zUpDown_->setValue(v.ZCyrcle);
  scaleXCheck_->setChecked(v.XScale);
  scaleYCheck_->setChecked(v.YScale);
  scaleZCheck_->setChecked(v.ZScale);
  saveAviDir_ = v.SaveAVIDir;
}

// The dialog's settings in one replacement of the settings file, and the compressor's blocks
// in their own file. A file that cannot be written is left as it was: the window reports the
// settings file at its next save.
void TSeqForm::SaveSettings() {
  if (!host_.settings) return;
  VideoSettings v;
  StoreCompressOptions(writer_.GetCompressOptions(), v, host_.compressorDataPath);
  v.ExportMode = exportItems_->checkedId();
  v.FrameRate = fpsUpDown_->value();
  v.NumFrames = lengthUpDown_->value();
  v.XCyrcle = xUpDown_->value();
  v.YCyrcle = yUpDown_->value();
  v.ZCyrcle = zUpDown_->value();
  v.XScale = scaleXCheck_->isChecked();
  v.YScale = scaleYCheck_->isChecked();
  v.ZScale = scaleZCheck_->isChecked();
  const bool chosen = !chosenAviFile_.empty();
  if (chosen) v.SaveAVIDir = OnDisk(QFileInfo(FromDisk(chosenAviFile_)).absolutePath());
  try {
    host_.settings->Update([&] { WriteVideoSettings(*host_.settings, v, chosen); });
  } catch (const SettingsWriteError&) {
  }
}

AnimationParams TSeqForm::Params() const {
  AnimationParams p;
  p.frames = lengthUpDown_->value();
  p.fps = fpsUpDown_->value();
  p.x = static_cast<int16_t>(xUpDown_->value());
  p.y = static_cast<int16_t>(yUpDown_->value());
  p.z = static_cast<int16_t>(zUpDown_->value());
  p.scaleX = scaleXCheck_->isChecked();
  p.scaleY = scaleYCheck_->isChecked();
  p.scaleZ = scaleZCheck_->isChecked();
  p.width = host_.width;
  p.height = host_.height;
  return p;
}

// Once per frame: the 3D view and pending messages (Cancel and Exit are seen here) before the
// render, the preview after it, the progress once the frame is written.
RunHooks TSeqForm::Hooks() {
  RunHooks hooks;
  hooks.fb = host_.feedback;
  hooks.beforeRender = [this] {
    if (host_.redraw) host_.redraw();
    QCoreApplication::processEvents();
  };
  hooks.afterRender = [this] {
    if (host_.updatePreview) host_.updatePreview();
  };
  hooks.frameDone = [this](int frame) { progress_->setValue(frame); };
  return hooks;
}

void TSeqForm::SetRunning(bool running) {
  panel1_->setEnabled(!running);
  nextButton_->setEnabled(!running);
  cancelButton_->setEnabled(running);
}

void TSeqForm::NextButtonClick() {
  SetRunning(true);
  progress_->setRange(0, lengthUpDown_->value());
  progress_->setValue(0);
  // Whatever a run throws ends it with a message: nothing may end the program from here.
  try {
    if (bmpItem_->isChecked())
      RunBmp();
    else
      RunAviFile();
  } catch (const std::bad_alloc&) {
    AbortRequested = 0;
    statusLabel_->setText(Tr("Not enough memory to finish this command"));
  } catch (const std::exception& e) {
    AbortRequested = 0;
    statusLabel_->setText(Tr("This command failed: %s").replace("%s", e.what()));
  }
  progress_->setValue(0);
  SetRunning(false);
  if (closeAfterRun_) QDialog::reject();  // Exit pressed during the run
}

void TSeqForm::RunBmp() {
  const QString name = host_.askSequenceName ? host_.askSequenceName() : QString();
  if (name.isEmpty()) return;
  const std::string first = OnDisk(name);
  if (!FrameNamesFit(first, lengthUpDown_->value())) {
    statusLabel_->setText(Tr("The name is too long for the frame files: choose a shorter one."));
    return;
  }
  statusLabel_->setText(Tr("Rendering BMP sequence..."));
  const RunResult r = RunBmpSequence(host_.ws, Params(), first, Hooks());
  if (r.end == RunEnd::Finished)
    statusLabel_->setText(Tr("Rendering of BMP sequence finished."));
  else if (r.end == RunEnd::Canceled)
    statusLabel_->setText(Tr("Rendering of BMP sequence canceled."));
  else
    statusLabel_->setText(QString::fromStdString(r.error.MessageWithReason(host_.feedback)));
}

void TSeqForm::RunAviFile() {
  if (fpsUpDown_->value() < 1) {  // refused before any file is touched
    const RunResult r = RunAvi(host_.ws, writer_, Params(), std::string(), Hooks());
    statusLabel_->setText(QString::fromStdString(r.error.Message(host_.feedback)));
    return;
  }
  const QString name = askAviName ? askAviName() : AskAviName();
  if (name.isEmpty()) return;
  chosenAviFile_ = OnDisk(name);
  statusLabel_->setText(Tr("Rendering AVI file, press Cancel to stop..."));
  const RunResult r = RunAvi(host_.ws, writer_, Params(), chosenAviFile_, Hooks());
  if (r.end == RunEnd::Finished)
    statusLabel_->setText(Tr("AVI file was rendered successfully."));
  else if (r.end == RunEnd::Canceled)
    statusLabel_->setText(Tr("Rendering of AVI file was canceled."));
  else
    statusLabel_->setText(QString::fromStdString(AviFailureMessage(r.error, host_.feedback)));
}

// The dialog starts in the folder of the AVI file chosen last, else in the stored one, else in
// the model's folder (and in the home folder when none of them is there).
QString TSeqForm::AskAviName() {
  const auto folderOf = [](const std::string& file) {
    return file.empty() ? QString() : QFileInfo(FromDisk(file)).absolutePath();
  };
  QString folder;
  for (const QString& f :
       {folderOf(chosenAviFile_), FromDisk(saveAviDir_), folderOf(host_.ws.modelPath)}) {
    if (!f.isEmpty() && QFileInfo(f).isDir()) {
      folder = f;
      break;
    }
  }
  return AskSaveFile(this, Tr("&Save"), folder, QString(), "avi",
                     Tr("AVI files") + " (*.avi);;" + Tr("All files") + " (*.*)");
}

void TSeqForm::CancelButtonClick() {
  AbortRequested = -1;
}

void TSeqForm::CloseButtonClick() {
  reject();
}

// Exit, Esc and closing the window: during a run the dialog closes once the run has returned.
void TSeqForm::reject() {
  if (running())
    closeAfterRun_ = true;
  else
    QDialog::reject();
}

void TSeqForm::closeEvent(QCloseEvent* e) {
  if (running()) {
    e->ignore();
    return;
  }
  QDialog::closeEvent(e);
}

void TSeqForm::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_F1) {
    FormHelp();
    return;
  }
  QDialog::keyPressEvent(e);
}

void TSeqForm::FormHelp() {
  if (host_.showHelp) host_.showHelp("Export_of_animation.htm");
}

// The compressor is chosen on a stream of the mask's size and format, in a temporary file. The
// file is made in a fresh folder inside the temporary folder that only this user can enter, and
// the folder goes with all it holds when the choice ends, however it ends: nothing another user
// has put in the shared temporary folder is ever opened, followed or deleted. Without that
// folder there is no stream, and the options dialog is not offered.
void TSeqForm::CompressButtonClick() {
  const QTemporaryDir folder;
  if (folder.isValid()) writer_.OpenStream(host_.ws.mask, OnDisk(folder.filePath("~TMP1.AVI")));
  QtOptionsDialog dialog(this, [this](const char* english) { return Tr(english); });
  writer_.ChooseOptions(dialog);
  writer_.CloseStream();
  codecLabel_->setText(Tr(writer_.GetCodecName().c_str()).replace("\n\r", "\n"));
}

// The AVI controls are enabled exactly for the AVI item.
void TSeqForm::ExportRadioGroupClick() {
  const bool avi = exportItems_->checkedId() == 1;
  for (QWidget* w :
       std::initializer_list<QWidget*>{fpsUpDown_, label5_, compressButton_, codecLabel_})
    w->setEnabled(avi);
}

// The AVI's length in seconds, two decimals with the user's separator, eight characters wide.
// A frame rate of 0 has no length: the number is left out.
void TSeqForm::FPSEditChange() {
  const int fps = fpsUpDown_->value();
  const QString number =
      fps > 0 ? QLocale().toString(double(lengthUpDown_->value()) / fps, 'f', 2) : QString("-");
  lengthLabel_->setText(Tr("AVI file length: %8.2f s").replace("%8.2f", number.rightJustified(8)));
}

}  // namespace quarvel
