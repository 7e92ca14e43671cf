// The main window: menus, tool bar, the 3D view and the mask preview side by side, the control
// panel, and the status bar. It owns one part per concern and keeps the commands' entry points:
//   main_form.cpp      building the window, placing it on screen, resizing, drops, closing
//   commands.cpp       Open, Render, Save, the animation and options dialogs, the preview,
//                      the busy state, error messages
//   main_menus, panes, control_panel, status_fields, window_keys   the window's pieces
//   view_control       the arrows, drags and arrow keys that place the model
//   form_settings, recent_files, language_menu, help_commands   what it remembers and the menus
// The scene, the mask and the busy state live in a Workspace, which the dialogs are given.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>

#include "app/control_panel.h"
#include "app/form_settings.h"
#include "app/help_commands.h"
#include "app/language_menu.h"
#include "app/main_menus.h"
#include "app/message_pump.h"
#include "app/panes.h"
#include "app/recent_files.h"
#include "app/status_fields.h"
#include "app/view_control.h"
#include "app/window_keys.h"
#include "base/feedback.h"
#include "session/workspace.h"
#include "settings/locations.h"

namespace quarvel {

constexpr const char* kCaption = "Quarvel " QUARVEL_VERSION;

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainForm(const FileLocations& locations, QWidget* parent = nullptr);
  ~TMainForm() override;

  // Opens a model by name (command line, drop, recent files, Open command): a .3ds file or any
  // other format quarvel-render reads, told by its extension. Refused while a load or a render
  // runs.
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

  Workspace& workspace() { return ws_; }
  const std::vector<std::string>& recentFiles() const { return recent_->list(); }

  // Where error messages go; a message box when unset (tests capture them here).
  std::function<void(const QString&)> errorHook;
  // How often long work lets the window process messages (tests make it every chance).
  MessagePump pump;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  // main_form.cpp
  void FormCreate();
  void BuildCentralWidget();
  void ConnectMenus();
  void LocalizeControls();
  void FormResize();
  void CloseWhenIdle();
  void FormClose();
  Props CurrentProps() const;
  QString Tr(const char* english) const;

  // commands.cpp
  QString OpenFilter() const;
  void RunCommand(const std::function<void()>& command);
  void ShowError(const QString& text);

  FileLocations locations_;
  Workspace ws_;
  Feedback feedback_;
  std::unique_ptr<FormSettings> settings_;
  MainMenus menus_;
  Panes* panes_ = nullptr;
  ControlPanel* panel_ = nullptr;
  StatusFields* status_ = nullptr;
  ViewControl* view_ = nullptr;
  RecentFiles* recent_ = nullptr;
  LanguageMenu* languages_ = nullptr;
  std::unique_ptr<HelpCommands> help_;

  bool closing_ = false;
  bool closePending_ = false;
  QString lastSaveName_ = "Mask1";
};

}  // namespace quarvel
