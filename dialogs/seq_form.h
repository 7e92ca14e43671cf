// The animation dialog, "Animation Settings": the evolutions per cycle, the export mode, the
// frame rate and compressor of an AVI file, the number of frames and the scaling mode; Render
// runs the export, Cancel stops it, Exit closes the dialog once no run is going.
#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <functional>
#include <string>

#include "session/sequencer.h"
#include "session/video_writer.h"
#include "session/workspace.h"
#include "settings/settings_file.h"

namespace quarvel {

// What the dialog is given by the window that opens it.
struct AnimationHost {
  Workspace& ws;
  SettingsFile* settings = nullptr;  // the open settings file; null: nothing is stored
  std::string compressorDataPath = {};
  Feedback feedback = {};             // the renderer's status texts, progress and message pump
  std::function<void()> render = {};  // the window's Render command, preview included
  std::function<void()> updatePreview = {};       // the preview of the mask just rendered
  std::function<void()> redraw = {};              // the 3D view
  std::function<QString()> askSequenceName = {};  // the window's BMP save dialog, its name cleared
  std::function<void(const QString& topic)> showHelp = {};
  int width = 640, height = 480;  // the mask size of the window's size controls
};

class TSeqForm : public QDialog {
  Q_OBJECT
 public:
  TSeqForm(QWidget* parent, AnimationHost host);
  ~TSeqForm() override;  // FormDestroy: the settings are saved

  bool running() const { return cancelButton_->isEnabled(); }
  TVideoWriter& writer() { return writer_; }
  // Where the AVI file dialog asks; tests answer in its place.
  std::function<QString()> askAviName;

 protected:
  void closeEvent(QCloseEvent* e) override;  // WMClose
  void keyPressEvent(QKeyEvent* e) override;
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void FormCreate();
  void BuildControls();
  void LocalizeControls();
  void LoadSettings();
  void SaveSettings();
  void NextButtonClick();
  void CancelButtonClick();
  void CloseButtonClick();
  void CompressButtonClick();
  void ExportRadioGroupClick();
  void FPSEditChange();
  void FormHelp();
  void SetRunning(bool running);
  void RunBmp();
  void RunAviFile();
  QString AskAviName();
  AnimationParams Params() const;
  RunHooks Hooks();
  QString Tr(const char* english) const;

  AnimationHost host_;
  TVideoWriter writer_;
  std::string saveAviDir_;
  std::string chosenAviFile_;  // the file last chosen in the AVI file dialog
  bool closeAfterRun_ = false;

  QWidget* panel1_ = nullptr;
  QSpinBox *xUpDown_ = nullptr, *yUpDown_ = nullptr, *zUpDown_ = nullptr;
  QSpinBox *fpsUpDown_ = nullptr, *lengthUpDown_ = nullptr;
  QGroupBox *rotationBox_ = nullptr, *exportRadioGroup_ = nullptr, *aviBox_ = nullptr,
            *scaleGroup_ = nullptr;
  QRadioButton *bmpItem_ = nullptr, *aviItem_ = nullptr;
  QButtonGroup* exportItems_ = nullptr;
  QCheckBox *scaleXCheck_ = nullptr, *scaleYCheck_ = nullptr, *scaleZCheck_ = nullptr;
  QLabel *label1_ = nullptr, *label2_ = nullptr, *label3_ = nullptr, *label4_ = nullptr,
         *label5_ = nullptr, *codecLabel_ = nullptr, *lengthLabel_ = nullptr,
         *statusLabel_ = nullptr;
  QPushButton *compressButton_ = nullptr, *nextButton_ = nullptr, *cancelButton_ = nullptr,
              *closeButton_ = nullptr;
  QProgressBar* progress_ = nullptr;
};

}  // namespace quarvel
