#include "compress_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace quarvel {

namespace {

constexpr int kQualitySteps = 100;  // the slider's 0 to 100 stand for 0 to 10000

}  // namespace

TCompressDialog::TCompressDialog(QWidget* parent, const CompressOptions& options,
                                 const std::vector<CodecInfo>& codecs,
                                 const std::function<QString(const char*)>& tr)
    : QDialog(parent), options_(options), codecs_(codecs) {
  setObjectName("CompressDialog");
  setWindowTitle(tr("Compression Options"));
  auto* column = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  compressor_ = new QComboBox(this);
  compressor_->setObjectName("Compressor");
  compressor_->addItem(tr("(Full Frames (Uncompressed))"), 0u);
  for (const CodecInfo& c : codecs_)
    compressor_->addItem(QString::fromStdString(FourCCText(c.fourcc) + "  " + c.shortName),
                         c.fourcc);
  form->addRow(tr("Compressor:"), compressor_);
  description_ = new QLabel(this);
  description_->setObjectName("Description");
  form->addRow(QString(), description_);

  quality_ = new QSlider(Qt::Horizontal, this);
  quality_->setObjectName("Quality");
  quality_->setRange(0, kQualitySteps);
  form->addRow(tr("Compression quality:"), quality_);

  auto row = [&](QCheckBox*& check, QSpinBox*& spin, const char* name, const char* caption,
                 const char* unit, int maximum) {
    auto* line = new QHBoxLayout;
    check = new QCheckBox(tr(caption), this);
    check->setObjectName(QString(name) + "Check");
    spin = new QSpinBox(this);
    spin->setObjectName(name);
    spin->setRange(1, maximum);
    line->addWidget(check);
    line->addWidget(spin);
    line->addWidget(new QLabel(tr(unit), this));
    line->addStretch(1);
    connect(check, &QCheckBox::toggled, spin, &QWidget::setEnabled);
    form->addRow(line);
  };
  row(keyFrameCheck_, keyFrames_, "KeyFrames", "Key frame every", "frames", 10000);
  row(dataRateCheck_, dataRate_, "DataRate", "Data rate", "KB/s", 1000000);
  column->addLayout(form);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(tr("&Cancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  column->addWidget(buttons);

  const int index = compressor_->findData(options_.fccHandler);
  compressor_->setCurrentIndex(index < 0 ? 0 : index);
  quality_->setValue(options_.dwQuality * kQualitySteps / 10000);
  keyFrameCheck_->setChecked(options_.dwKeyFrameEvery > 0);
  keyFrames_->setValue(options_.dwKeyFrameEvery > 0 ? options_.dwKeyFrameEvery : 15);
  dataRateCheck_->setChecked(options_.dwBytesPerSecond > 0);
  dataRate_->setValue(options_.dwBytesPerSecond > 0 ? options_.dwBytesPerSecond / 1024 : 300);
  connect(compressor_, &QComboBox::currentIndexChanged, this, &TCompressDialog::CompressorChange);
  CompressorChange();
}

// Each setting is offered only where the chosen compressor takes it.
void TCompressDialog::CompressorChange() {
  const CodecInfo* codec = FindCodec(compressor_->currentData().toUInt());
  description_->setText(codec ? QString::fromStdString(codec->description) : QString());
  quality_->setEnabled(codec && codec->quality);
  keyFrameCheck_->setEnabled(codec && codec->keyFrames);
  keyFrames_->setEnabled(keyFrameCheck_->isEnabled() && keyFrameCheck_->isChecked());
  dataRateCheck_->setEnabled(codec && codec->dataRate);
  dataRate_->setEnabled(dataRateCheck_->isEnabled() && dataRateCheck_->isChecked());
}

CompressOptions TCompressDialog::Options() const {
  CompressOptions o = options_;
  o.fccHandler = compressor_->currentData().toUInt();
  const CodecInfo* codec = FindCodec(o.fccHandler);
  o.dwQuality = codec && codec->quality ? quality_->value() * 10000 / kQualitySteps : 0;
  o.dwKeyFrameEvery =
      codec && codec->keyFrames && keyFrameCheck_->isChecked() ? keyFrames_->value() : 0;
  o.dwBytesPerSecond =
      codec && codec->dataRate && dataRateCheck_->isChecked() ? dataRate_->value() * 1024 : 0;
  return o;
}

bool QtOptionsDialog::Choose(CompressOptions& options, const std::vector<CodecInfo>& codecs) {
  TCompressDialog dialog(parent_, options, codecs, tr_);
  if (dialog.exec() != QDialog::Accepted) return false;
  options = dialog.Options();
  return true;
}

}  // namespace quarvel
