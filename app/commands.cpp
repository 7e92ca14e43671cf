// The commands that start long work (Open, Render, Save), the preview of their result, and the
// busy state that keeps them from running twice.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>
#include <new>

#include "dialogs/about_box.h"
#include "dialogs/dialogs.h"
#include "dialogs/ops_form.h"
#include "dialogs/seq_form.h"
#include "main_form.h"
#include "render/preview.h"
#include "scene/model_formats.h"
#include "widgets/preview_box.h"

namespace quarvel {

namespace {

QString FolderOf(const QString& path) {
  return QFileInfo(path).absolutePath();
}

// The model types of the Open dialog, after the one that takes them all: each format
// quarvel-render reads, by its extension in either case.
struct ModelType {
  const char* name;
  const char* patterns;
};
constexpr ModelType kModelTypes[] = {
    {"3DS file", "*.3DS *.3ds"},    {"OBJ file", "*.obj *.OBJ"},
    {"STL file", "*.stl *.STL"},    {"PLY file", "*.ply *.PLY"},
    {"glTF file", "*.gltf *.GLTF"}, {"glTF binary file", "*.glb *.GLB"},
};

// The save dialog starts in the folder of the last save, or else in the model's folder.
QString SaveFolder(const Props& props, const Workspace& ws) {
  if (!props.SaveDir.empty()) return QString::fromStdString(props.SaveDir);
  if (!ws.modelPath.empty()) return FolderOf(FromDisk(ws.modelPath));
  return {};
}

}  // namespace

// Runs a command; whatever it throws becomes a message, so no failure ends the window. The
// command's BusyScope has already given the busy state back by the time the message shows.
void TMainForm::RunCommand(const std::function<void()>& command) {
  try {
    command();
  } catch (const RenderStopped&) {
    // A stop signal cut the render short: its mask is dropped and the window closes.
  } catch (const std::bad_alloc&) {
    ShowError(Tr("Not enough memory to finish this command"));
  } catch (const std::exception& e) {
    ShowError(Tr("This command failed: %s").replace("%s", QString::fromLocal8Bit(e.what())));
  }
}

void TMainForm::SetBusy(bool busy) {
  menus_.open->setEnabled(!busy);
  menus_.options->setEnabled(!busy);
  panel_->setEnabled(!busy);
  menus_.render->setEnabled(ws_.scene.ModelLoaded && !busy);
  menus_.exportAnimation->setEnabled(ws_.scene.ModelLoaded && !busy);
  menus_.save->setEnabled(ws_.render.MaskReady && !busy);
  if (!busy && closePending_) QTimer::singleShot(0, this, &QWidget::close);
}

// The Open dialog's filter: all models first, then each model type, then all files.
QString TMainForm::OpenFilter() const {
  QStringList all, types;
  for (const ModelType& type : kModelTypes) {
    all << type.patterns;
    types << Tr(type.name) + " (" + type.patterns + ")";
  }
  return QStringList{Tr("All models") + " (" + all.join(' ') + ")", types.join(";;"),
                     Tr("All files") + " (*)"}
      .join(";;");
}

void TMainForm::Open3DS(const QString& fileName) {
  if (ws_.busy) return;  // a second load must not start while one runs
  const std::string name = OnDisk(fileName);
  // Every format quarvel-render reads opens; any other name is refused as for .3ds.
  if (const std::string error = FormatOfName(name) ? "" : IsSupportedFile(name); !error.empty()) {
    ShowError(Tr(error.c_str()));
    return;
  }
  RunCommand([&] {
    ImportResult result;
    {
      BusyScope busy(ws_);
      result = OpenModel(ws_, name, feedback_);
    }
    if (!result.ok) ShowError(QString::fromUtf8(result.error.MessageWithReason(feedback_)));
  });
  // A failed load leaves an empty scene: neither the face count of the model it replaced nor
  // its own Esc hint stays in the status bar.
  if (!ws_.scene.ModelLoaded) {
    feedback_.Status(0, "");
    if (status_->Text(2) == Tr(" Press ESC to skip")) feedback_.Status(2, "");
  }
  view_->Redraw();
  setWindowTitle(kCaption);
  if (ws_.scene.ModelLoaded)
    setWindowTitle(QString(kCaption) + " : " + QFileInfo(fileName).fileName());
}

void TMainForm::OpenCommandLine(const QStringList& arguments) {
  if (arguments.size() < 2 || arguments[1].isEmpty()) return;
  QStringList parts = arguments.mid(1);
  parts.removeAll(QString());
  Open3DS(parts.join(' '));
}

void TMainForm::DXDrawClick() {
  if (ws_.busy) return;
  const QString file = AskOpenFile(
      this, Tr("&Open"), QString::fromStdString(settings_->props().OpenDir), OpenFilter());
  if (file.isEmpty()) return;
  Open3DS(file);
  settings_->props().OpenDir = FolderOf(file).toStdString();
  recent_->Add(file.toStdString());
}

void TMainForm::TestButtonClick() {
  if (ws_.busy || !ws_.scene.ModelLoaded) return;
  RunCommand([&] {
    BusyScope busy(ws_);
    RenderMask(ws_, panel_->maskWidth->value(), panel_->maskHeight->value(), feedback_);
  });
  UpdatePreview();
}

void TMainForm::UpdatePreview() {
  const MaskImage& mask = ws_.mask;
  // While a render draws the mask it is neither read nor shown: the render's end shows it.
  if (ws_.rendering) return;
  if (mask.Width() < 1 || mask.Height() < 1 || panes_->preview()->width() < 1 ||
      panes_->preview()->height() < 1)
    return;
  feedback_.Status(2, feedback_.Tr("Drawing..."));
  const QSize screenSize = screen() ? screen()->size() : QSize(1024, 768);
  const Size2 size = PreviewSize({mask.Width(), mask.Height()},
                                 {panes_->preview()->width(), panes_->preview()->height()},
                                 {screenSize.width(), screenSize.height()});
  QImage picture(size.w, size.h, QImage::Format_Indexed8);
  QList<QRgb> greys(256);
  for (int i = 0; i < 256; ++i)
    greys[i] = qRgb(i, i, i);
  picture.setColorTable(greys);
  const std::vector<uint8_t> pixels = SamplePreview(mask, size);
  for (int y = 0; y < size.h; ++y)
    std::copy_n(pixels.data() + size_t(y) * size_t(size.w), size.w, picture.scanLine(y));
  panes_->preview()->SetPicture(std::move(picture));
  const QString ready = QString("%1 x %2").arg(mask.Width()).arg(mask.Height());
  status_->SetText(2, Tr("%s depth mask ready").replace("%s", ready));
}

void TMainForm::Save1Click() {
  if (ws_.busy || !ws_.render.MaskReady) return;
  const QString file = AskSaveFile(this, Tr("&Save"), SaveFolder(settings_->props(), ws_),
                                   lastSaveName_, "bmp", Tr("BitMap Files") + " (*.bmp)");
  if (file.isEmpty()) return;
  lastSaveName_ = QFileInfo(file).fileName();
  SaveMask(file);
}

// The animation dialog, given the workspace and what it needs of this window. While it is open
// the renders keep the depth range its runs set.
void TMainForm::ExportBMPSequence1Click() {
  if (ws_.busy || !ws_.scene.ModelLoaded) return;
  AnimationHost host{ws_};
  host.settings = settings_->file();
  host.compressorDataPath = locations_.CompressorData();
  host.feedback = feedback_;
  host.render = [this] { TestButtonClick(); };
  host.updatePreview = [this] { UpdatePreview(); };
  host.redraw = [this] { view_->Redraw(); };
  // The BMP save dialog names the first file of a sequence; it starts with no name.
  host.askSequenceName = [this] {
    return AskSaveFile(this, Tr("&Save"), SaveFolder(settings_->props(), ws_), QString(), "bmp",
                       Tr("BitMap Files") + " (*.bmp)");
  };
  host.showHelp = [this](const QString& topic) { help_->ShowHelp(topic); };
  host.width = panel_->maskWidth->value();
  host.height = panel_->maskHeight->value();
  RunCommand([&] { RunDialog<TSeqForm>(this, std::move(host)); });
  view_->Redraw();
}

// The options dialog, given the scene, the settings it edits and what it needs of this window.
// Apply keeps the colours picked; Cancel shows the stored ones again.
void TMainForm::OpsButtonClick() {
  if (ws_.busy) return;
  settings_->props().ObjColor = ws_.scene.ObjColor;
  settings_->props().LightColor = ws_.scene.LightColor;
  OptionsHost host{ws_.scene, settings_->props()};
  host.executable = OnDisk(QCoreApplication::applicationFilePath());
  host.showHints = menus_.showHints->isChecked();
  host.redraw = [this] { view_->Redraw(); };
  host.translate = feedback_.translate;
  host.showHelp = [this](const QString& topic) { help_->ShowHelp(topic); };
  host.showError = [this](const QString& text) { ShowError(text); };
  int result = QDialog::Rejected;
  RunCommand([&] { result = RunDialog<TOpsForm>(this, std::move(host)); });
  if (result == QDialog::Accepted) {
    ws_.scene.ObjColor = settings_->props().ObjColor;
    ws_.scene.LightColor = settings_->props().LightColor;
  } else {
    ws_.scene.SetColorBright(ws_.scene.ObjColor, ws_.scene.LightColor);
  }
  view_->Redraw();
  SaveSettings();
}

bool TMainForm::SaveMask(const QString& fileName) {
  bool saved = false;
  RunCommand([&] {
    const ErrorText error = SaveMaskFile(ws_, OnDisk(fileName));
    if (!error.empty()) {
      ShowError(QString::fromUtf8(error.MessageWithReason(feedback_)));
      return;
    }
    settings_->props().SaveDir = FolderOf(fileName).toStdString();
    saved = true;
  });
  return saved;
}

void TMainForm::ShowError(const QString& text) {
  if (errorHook)
    errorHook(text);
  else
    ShowErrorBox(this, Tr("Error"), text);
}

// The about box, over this window; available at any time.
void TMainForm::About1Click() {
  RunCommand([&] { RunDialog<TAboutBox>(this, feedback_); });
}

}  // namespace quarvel
