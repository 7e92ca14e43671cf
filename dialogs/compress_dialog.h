// The compression options dialog: the compressor, then its key-frame interval, quality and data
// rate, each enabled only where the chosen compressor takes it. OK fills the options, Cancel
// leaves them.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <functional>
#include <string>

#include "session/video_writer.h"

namespace quarvel {

class TCompressDialog : public QDialog {
  Q_OBJECT
 public:
  TCompressDialog(QWidget* parent, const CompressOptions& options,
                  const std::vector<CodecInfo>& codecs,
                  const std::function<QString(const char*)>& tr);
  // The options as the controls hold them.
  CompressOptions Options() const;

 private:
  void CompressorChange();

  CompressOptions options_;
  const std::vector<CodecInfo>& codecs_;
  QComboBox* compressor_ = nullptr;
  QLabel* description_ = nullptr;
  QSlider* quality_ = nullptr;
  QCheckBox* keyFrameCheck_ = nullptr;
  QSpinBox* keyFrames_ = nullptr;
  QCheckBox* dataRateCheck_ = nullptr;
  QSpinBox* dataRate_ = nullptr;
};

// The writer's options dialog, as the window shows it.
class QtOptionsDialog : public OptionsDialog {
 public:
  QtOptionsDialog(QWidget* parent, std::function<QString(const char*)> tr)
      : parent_(parent), tr_(std::move(tr)) {}
  bool Choose(CompressOptions& options, const std::vector<CodecInfo>& codecs) override;

 private:
  QWidget* parent_;
  std::function<QString(const char*)> tr_;
};

}  // namespace quarvel
