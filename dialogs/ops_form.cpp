#include "ops_form.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

namespace quarvel {

namespace {

// Client size of the dialog at the least; longer texts (or larger fonts) make it grow.
constexpr QSize kClientSize(240, 161);

QColor ToQColor(uint32_t color) {
  return QColor(int(color & 0xFF), int(color >> 8 & 0xFF), int(color >> 16 & 0xFF));
}

uint32_t FromQColor(const QColor& c) {
  return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16;
}

void Fill(QFrame* shape, uint32_t color) {
  shape->setStyleSheet(QString("QFrame { background-color: %1; border: 1px solid black; }")
                           .arg(ToQColor(color).name()));
}

// A hint as a tool tip shows it: line breaks without their carriage returns.
QString Hint(QString text) {
  return text.remove('\r');
}

QFrame* SunkenPanel(QWidget* parent, const char* name) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(name);
  panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  return panel;
}

}  // namespace

TOpsForm::TOpsForm(QWidget* parent, OptionsHost host) : QDialog(parent), host_(std::move(host)) {
  FormCreate();
}

QString TOpsForm::Tr(const char* english) const {
  return QString::fromStdString(host_.translate ? host_.translate(english) : english);
}

void TOpsForm::FormCreate() {
  setObjectName("OpsForm");
  BuildControls();
  LocalizeControls();
  association_ = AssociationPaths::ForUser(host_.executable);
  WasAssociated = IsAssociated(association_);
  associate_->setChecked(WasAssociated);
  singleBox_->setChecked(host_.props.SingleInstance);
  objColor_ = host_.props.ObjColor;
  lightColor_ = host_.props.LightColor;
  Fill(objectShape_, objColor_);
  Fill(lightShape_, lightColor_);

  setFixedSize(sizeHint().expandedTo(kClientSize));
  if (const QScreen* s = parentWidget() ? parentWidget()->screen() : screen())
    move(s->availableGeometry().center() - rect().center());
}

void TOpsForm::BuildControls() {
  setWindowTitle("Options");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 6, 6, 6);
  column->setSpacing(6);

  upperPanel_ = SunkenPanel(this, "Panel1");
  auto* checks = new QVBoxLayout(upperPanel_);
  associate_ = new QCheckBox("Associate 3DS files with Quarvel", upperPanel_);
  associate_->setObjectName("Associate");
  singleBox_ = new QCheckBox("Allow single instance of Quarvel", upperPanel_);
  singleBox_->setObjectName("SingleBox");
  checks->addWidget(associate_);
  checks->addWidget(singleBox_);
  column->addWidget(upperPanel_);

  lowerPanel_ = SunkenPanel(this, "Panel2");
  auto* groups = new QHBoxLayout(lowerPanel_);
  auto group = [&](QGroupBox*& box, QFrame*& shape, QPushButton*& change, const char* title,
                   const char* boxName, const char* shapeName, int shapeHeight,
                   const char* changeName) {
    box = new QGroupBox(title, lowerPanel_);
    box->setObjectName(boxName);
    auto* inside = new QVBoxLayout(box);
    shape = new QFrame(box);
    shape->setObjectName(shapeName);
    shape->setFixedSize(41, shapeHeight);
    shape->setCursor(Qt::PointingHandCursor);
    shape->installEventFilter(this);
    change = new QPushButton("C&hange", box);
    change->setObjectName(changeName);
    change->setAutoDefault(false);
    inside->addWidget(shape, 0, Qt::AlignHCenter);
    inside->addWidget(change, 0, Qt::AlignHCenter);
    groups->addWidget(box);
  };
  group(groupBox1_, objectShape_, change1_, "3D Object Color", "GroupBox1", "ObjectShape", 21,
        "Change1");
  group(groupBox2_, lightShape_, change2_, "Light Source Color", "GroupBox2", "LightShape", 20,
        "Change2");
  connect(change1_, &QPushButton::clicked, this, &TOpsForm::Change1Click);
  connect(change2_, &QPushButton::clicked, this, &TOpsForm::Change2Click);
  column->addWidget(lowerPanel_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  cancelButton_ = new QPushButton("&Cancel", this);
  cancelButton_->setObjectName("CancelButton");
  cancelButton_->setAutoDefault(false);
  okButton_ = new QPushButton("&Apply", this);
  okButton_->setObjectName("OKButton");
  okButton_->setDefault(true);
  buttons->addWidget(cancelButton_);
  buttons->addWidget(okButton_);
  connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
  connect(okButton_, &QPushButton::clicked, this, &TOpsForm::OKButtonClick);
  column->addLayout(buttons);

  colorDialog_ = new QColorDialog(this);
  colorDialog_->setObjectName("ColorDialog");
}

// Every text by its English design text, in the user's language; the hints only while the main
// window shows hints.
void TOpsForm::LocalizeControls() {
  setWindowTitle(Tr("Options"));
  okButton_->setText(Tr("&Apply"));
  cancelButton_->setText(Tr("&Cancel"));
  associate_->setText(Tr("Associate 3DS files with Quarvel"));
  singleBox_->setText(Tr("Allow single instance of Quarvel"));
  groupBox1_->setTitle(Tr("3D Object Color"));
  groupBox2_->setTitle(Tr("Light Source Color"));
  change1_->setText(Tr("C&hange"));
  change2_->setText(Tr("C&hange"));
  if (!host_.showHints) return;
  associate_->setToolTip(Hint(Tr("Set or remove file associations of\r\n3ds with Quarvel")));
  singleBox_->setToolTip(
      Hint(Tr("Allow only one or several instances\r\nof Quarvel simultaneously")));
  objectShape_->setToolTip(Hint(Tr("Click the shape to change color of 3D object")));
  lightShape_->setToolTip(
      Hint(Tr("Click the shape to change color and brightness of light source")));
}

// Apply: the choices into the settings, and the association changed only when its tick was. A
// list of associations that cannot be read or written is told of once the dialog has closed.
void TOpsForm::OKButtonClick() {
  host_.props.SingleInstance = singleBox_->isChecked();
  host_.props.ObjColor = objColor_;
  host_.props.LightColor = lightColor_;
  AssociationResult changed;
  if (associate_->isChecked() != WasAssociated)
    changed = WasAssociated ? RemoveAssociation(association_) : SetAssociation(association_);
  accept();
  if (changed.error.empty() || !host_.showError) return;
  Feedback fb;
  fb.translate = host_.translate;
  host_.showError(QString::fromStdString(changed.error.MessageWithReason(fb)));
}

// A colour confirmed in the colour dialog fills the swatch and shows on the 3D view at once.
void TOpsForm::PickColor(uint32_t& color, QFrame* shape) {
  colorDialog_->setCurrentColor(ToQColor(color));
  if (colorDialog_->exec() != QDialog::Accepted) return;
  color = FromQColor(colorDialog_->selectedColor());
  Fill(shape, color);
  if (host_.scene.SetColorBright(objColor_, lightColor_) && host_.redraw) host_.redraw();
}

void TOpsForm::Change1Click() {
  PickColor(objColor_, objectShape_);
}

void TOpsForm::Change2Click() {
  PickColor(lightColor_, lightShape_);
}

void TOpsForm::ObjectShapeMouseUp() {
  PickColor(objColor_, objectShape_);
}

void TOpsForm::LightShapeMouseUp() {
  PickColor(lightColor_, lightShape_);
}

bool TOpsForm::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::MouseButtonRelease) {
    if (watched == objectShape_) ObjectShapeMouseUp();
    if (watched == lightShape_) LightShapeMouseUp();
  }
  return QDialog::eventFilter(watched, e);
}

void TOpsForm::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_F1) {
    FormHelp();
    return;
  }
  QDialog::keyPressEvent(e);
}

void TOpsForm::FormHelp() {
  if (host_.showHelp) host_.showHelp("Options_dialog.htm");
}

}  // namespace quarvel
