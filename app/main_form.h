// The main window: menus, tool bar, the 3D view and the mask preview side by side, the panel of
// turn, move and size controls, and the status bar. It owns the scene, the mask and the
// settings, and wires the core's long work to the window so that it stays responsive.
#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QSpinBox>
#include <QSplitter>
#include <functional>
#include <memory>
#include <vector>

#include "render/mask_image.h"
#include "render/rasterizer.h"
#include "scene/feedback.h"
#include "scene/scene.h"
#include "settings/localizer.h"
#include "settings/locations.h"
#include "settings/props.h"

namespace quarvel {

class DXDraw;
class OutBox;
class UpDown;

constexpr const char* kCaption = "Quarvel 1.55";

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainForm(const FileLocations& locations, QWidget* parent = nullptr);
  ~TMainForm() override;

  // Opens a model by name (command line, drop, recent files, Open command). Refused while a
  // load or a render runs.
  void Open3DS(const QString& fileName);
  // The command line: every parameter after the program's own, joined by single blanks.
  void OpenCommandLine(const QStringList& arguments);

  void DXDrawClick();      // Open
  void TestButtonClick();  // Render
  void Save1Click();       // Save
  bool SaveMask(const QString& fileName);
  void UpdatePreview();
  void SetBusy(bool busy);
  void SaveSettings();
  void SetRotation(float x, float y, float z, float theta);

  bool busy() const { return busy_; }
  Scene& scene() { return scene_; }
  const RenderState& renderState() const { return render_; }
  const MaskImage& mask() const { return mask_; }
  const std::vector<std::string>& recentFiles() const { return recent_; }

  // Where error messages go; a message box when unset (tests capture them here).
  std::function<void(const QString&)> errorHook;
  // How often long work lets the window process messages (tests make it every chance).
  void setPumpInterval(int ms) { pumpIntervalMs_ = ms; }

 protected:
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void FormCreate();
  void FormClose();
  void BuildMenus();
  void BuildPanel();
  void BuildStatusBar();
  void LocalizeControls();
  void BuildLanguageMenu();
  void LanguageMenuClick(size_t index);
  void RebuildRecentMenu();
  void MRUClick(const QString& path);
  void Showhints1Click();
  void Showtoolbar1Click();
  void FormResize();
  void PlaceSplitter(int previewWidth);
  void UpDownXClick(int position);
  void UpDownYClick(int position);
  void UpDownZClick(int position);
  void UpDown1Click(int position);
  void UpDown2Click(int position);
  void UpDown3Click(int position);
  void UpDownRotateClick(float x, float y, float z, int position);
  void UpDownMoveClick(int axis, int position);
  void DXDrawMouseDown(QPoint pos);
  void DXDrawMouseMove(QPoint pos, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
  void FormKeyDown(int key);
  void MoveMeshOrQueue(float x, float y, float z);
  void Redraw();
  void ShowError(const QString& text);
  void ProcessMessages();
  void CloseWhenIdle();
  Props CurrentProps() const;
  QString Tr(const char* english) const;

  FileLocations locations_;
  std::unique_ptr<SettingsFile> settingsFile_;
  std::unique_ptr<TLocalizer> localizer_;
  std::vector<LanguageEntry> languages_;
  Props props_;  // the values not held by a control
  std::vector<std::string> recent_;

  Scene scene_;
  RenderState render_;
  MaskImage mask_;
  Feedback feedback_;

  bool busy_ = false;
  bool rendering_ = false;
  std::vector<Vec3> pendingMeshMoves_;  // drags made while a render reads the mesh
  bool closing_ = false;
  bool closePending_ = false;
  bool settingsReady_ = false;
  bool settingsErrorShown_ = false;
  bool splitterPlaced_ = false;
  int lastMouseX_ = 0, lastMouseY_ = 0;
  QElapsedTimer pumpTimer_;
  int pumpIntervalMs_ = 15;
  unsigned pumpCounter_ = 0;

  DXDraw* dxdraw_ = nullptr;
  OutBox* outBox_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QWidget* panel1_ = nullptr;
  QWidget* panel4_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QSpinBox* upDown4_ = nullptr;
  QSpinBox* upDown5_ = nullptr;
  QLabel* statusPanels_[3] = {};
  QProgressBar* progressBar_ = nullptr;
  std::vector<UpDown*> arrows_;
  std::vector<QLabel*> axisLabels_;
  QLabel *label4_ = nullptr, *label5_ = nullptr, *label11_ = nullptr, *label12_ = nullptr;
  QMenu *file1_ = nullptr, *view1_ = nullptr, *help1_ = nullptr, *language1_ = nullptr;
  QAction *open1_ = nullptr, *save1_ = nullptr, *export1_ = nullptr, *render1_ = nullptr,
          *exit1_ = nullptr, *showHints1_ = nullptr, *showToolbar1_ = nullptr, *options1_ = nullptr,
          *helpTopics1_ = nullptr, *onlineHelp1_ = nullptr, *website1_ = nullptr,
          *about1_ = nullptr, *recentSeparator_ = nullptr;
  std::vector<QAction*> recentActions_;
  QString lastSaveName_ = "Mask1";
};

}  // namespace quarvel
