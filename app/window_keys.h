// The main window's keys, wherever its focus is: Esc asks running work to stop, the menus' keys
// win over the control with the focus, and with "Show hints" off no hint shows but the
// splitter's. A message box or a file dialog shown during a long import keeps its own keys.
#pragma once

#include <QAction>
#include <QKeyEvent>
#include <QMainWindow>

namespace quarvel {

class WindowKeys : public QObject {
 public:
  WindowKeys(QMainWindow* window, const QAction* showHints, const QWidget* splitterHandle);
  ~WindowKeys() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void FormKeyDown(int key);
  bool IsMenuKey(const QKeyEvent& key) const;

  QMainWindow* window_;
  const QAction* showHints_;
  const QWidget* splitterHandle_;
};

}  // namespace quarvel
