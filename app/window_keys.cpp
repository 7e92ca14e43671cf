#include "window_keys.h"

#include <QApplication>

#include "base/feedback.h"

namespace quarvel {

WindowKeys::WindowKeys(QMainWindow* window, const QAction* showHints, const QWidget* splitterHandle)
    : QObject(window), window_(window), showHints_(showHints), splitterHandle_(splitterHandle) {
  qApp->installEventFilter(this);
}

WindowKeys::~WindowKeys() {
  qApp->removeEventFilter(this);
}

// Esc asks a running import to stop.
void WindowKeys::FormKeyDown(int key) {
  if (key == Qt::Key_Escape) AbortRequested = -1;
}

// A key that a menu command uses, or Alt with the underlined letter of a menu: the size boxes
// would take Ctrl+E and Ctrl+A for editing, and Alt with a letter too.
bool WindowKeys::IsMenuKey(const QKeyEvent& key) const {
  if (key.modifiers() & Qt::AltModifier) return true;
  const QKeySequence sequence(key.keyCombination());
  for (const QAction* a : window_->findChildren<QAction*>())
    if (!a->shortcut().isEmpty() && a->shortcut() == sequence) return true;
  return false;
}

bool WindowKeys::eventFilter(QObject* watched, QEvent* e) {
  const bool mine = watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == window_;
  if (e->type() == QEvent::KeyPress && mine) FormKeyDown(static_cast<QKeyEvent*>(e)->key());
  if (e->type() == QEvent::ShortcutOverride && mine && IsMenuKey(*static_cast<QKeyEvent*>(e))) {
    e->ignore();
    return true;
  }
  return e->type() == QEvent::ToolTip && !showHints_->isChecked() && watched != splitterHandle_;
}

}  // namespace quarvel
