#include "control_panel.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "settings/props.h"

namespace quarvel {

ControlPanel::ControlPanel(QWidget* parent) : QWidget(parent) {
  setObjectName("Panel4");
  setFixedHeight(58);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(8, 4, 8, 4);  // the arrows need their whole height in the panel
  AddArrowGroup(rotation_, "Label4", {"UpDownX", "UpDownY", "UpDownZ"}, 0);
  AddArrowGroup(moving_, "Label5", {"UpDown1", "UpDown2", "UpDown3"}, 3);
  maskWidth = AddSizeBox(width_, "Label11", "UpDown4", "Edit3");
  maskHeight = AddSizeBox(height_, "Label12", "UpDown5", "Edit4");
  maskWidth->setValue(640);
  maskHeight->setValue(480);
  row->addStretch(1);
}

void ControlPanel::AddArrowGroup(QLabel*& caption, const char* name, const char* const (&names)[3],
                                 size_t first) {
  auto* box = new QVBoxLayout;
  caption = new QLabel(this);
  caption->setObjectName(name);
  box->addWidget(caption);
  auto* controls = new QHBoxLayout;
  for (size_t i = 0; i < 3; ++i) {
    arrows[first + i] = new UpDown(names[i], this);
    controls->addWidget(new QLabel(QString("XYZ"[i]), this));
    controls->addWidget(arrows[first + i]);
    controls->addSpacing(6);
  }
  box->addLayout(controls);
  auto* row = static_cast<QHBoxLayout*>(layout());
  row->addLayout(box);
  row->addSpacing(16);
}

QSpinBox* ControlPanel::AddSizeBox(QLabel*& caption, const char* label, const char* spin,
                                   const char* edit) {
  auto* box = new QVBoxLayout;
  caption = new QLabel(this);
  caption->setObjectName(label);
  auto* s = new QSpinBox(this);
  s->setObjectName(spin);
  s->findChild<QLineEdit*>()->setObjectName(edit);
  s->setRange(kMinPicSize, kMaxPicSize);
  s->setMinimumWidth(80);
  box->addWidget(caption);
  box->addWidget(s);
  static_cast<QHBoxLayout*>(layout())->addLayout(box);
  return s;
}

void ControlPanel::Localize(const std::function<QString(const char*)>& tr) {
  rotation_->setText(tr("Rotation"));
  moving_->setText(tr("Moving"));
  width_->setText(tr("Width"));
  height_->setText(tr("Height"));
  const char* arrowHints[] = {"Rotate model around X axis", "Rotate model around Y axis",
                              "Rotate model around Z axis", "Left-Right movement",
                              "Down-Up movement",           "From observer - to observer movement"};
  for (size_t i = 0; i < arrows.size(); ++i)
    arrows[i]->setToolTip(tr(arrowHints[i]));
  maskWidth->setToolTip(tr("Width of output mask"));
  maskHeight->setToolTip(tr("Height of output mask"));
}

}  // namespace quarvel
