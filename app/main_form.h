// The main window: menus, tool bar, the 3D view and the mask preview side by side, the panel of
// turn, move and size controls, and the status bar. Its work is spread over files by concern:
//   main_form.cpp      building the window, placing it on screen, drops and closing
//   commands.cpp       Open, Render, Save, the animation and options dialogs, the preview,
//                      the busy state, error messages
//   view_control.cpp   the arrows, mouse drags, Esc, and the panes on resizing
//   form_settings.cpp  saving the settings, recent files, languages, hints and tool bar
//   help_commands.cpp  the Help menu's topics and web links, and F1
// The scene, the mask and the busy state live in a Workspace, which the dialogs are given.
#pragma once

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QSpinBox>
#include <QSplitter>
#include <functional>
#include <memory>
#include <vector>

#include "base/feedback.h"
#include "session/workspace.h"
#include "settings/localizer.h"
#include "settings/locations.h"
#include "settings/props.h"

namespace quarvel {

class DXDraw;
class OutBox;
class UpDown;

constexpr const char* kCaption = "Quarvel 1.55";
constexpr int kSplitterLimit = 120;  // each side of the splitter keeps at least this much

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

  void DXDrawClick();              // Open
  void TestButtonClick();          // Render
  void Save1Click();               // Save
  void ExportBMPSequence1Click();  // Export animation
  void OpsButtonClick();           // Options
  void About1Click();              // About
  bool SaveMask(const QString& fileName);
  void UpdatePreview();
  void SetBusy(bool busy);
  void SaveSettings();

  bool busy() const { return ws_.busy; }
  Workspace& workspace() { return ws_; }
  Scene& scene() { return ws_.scene; }
  const RenderState& renderState() const { return ws_.render; }
  const MaskImage& mask() const { return ws_.mask; }
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
  // main_form.cpp
  void FormCreate();
  void BuildMenus();
  void BuildPanel();
  void BuildStatusBar();
  void PlaceProgressBar();
  void LocalizeControls();
  void LocalizeStatus();
  void PlaceOnScreen();
  void CloseWhenIdle();
  QString Tr(const char* english) const;

  // commands.cpp
  void RunCommand(const std::function<void()>& command);
  QString SaveFolder() const;
  QString AskSequenceName();
  void ShowError(const QString& text);
  void ProcessMessages();

  // view_control.cpp
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
  void DXDrawKeyDown(int key, Qt::KeyboardModifiers modifiers);
  bool IsMenuKey(const QKeyEvent& key) const;
  void FormResize();
  void PlaceSplitter(int previewWidth);
  void Redraw();

  // form_settings.cpp
  void FormClose();
  Props CurrentProps() const;
  void BuildLanguageMenu();
  void LanguageMenuClick(size_t index);
  void RebuildRecentMenu();
  void MRUClick(const QString& path);
  void Showhints1Click();
  void Showtoolbar1Click();

  // help_commands.cpp
  void ShowHelp(const QString& topic = {});  // the help at `topic`, or at its default page
  void FormHelp();                           // F1
  void Helptopics1Click();
  void OnlineHelp1Click();
  void Website1Click();

  FileLocations locations_;
  std::unique_ptr<SettingsFile> settingsFile_;
  std::unique_ptr<TLocalizer> localizer_;
  std::vector<LanguageEntry> languages_;
  Props props_;  // the values not held by a control
  std::vector<std::string> recent_;

  Workspace ws_;
  Feedback feedback_;

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
  QStringList statusTexts_;  // the status bar's texts in the language shown, "%s" for a number
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
