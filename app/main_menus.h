// The main window's menus and tool bar: the commands' actions, named, with their glyphs and keys.
// The window connects them to its handlers; their texts follow the language.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QToolBar>
#include <functional>

namespace quarvel {

struct MainMenus {
  QMenu *file = nullptr, *view = nullptr, *help = nullptr, *language = nullptr;
  QAction *open = nullptr, *save = nullptr, *exportAnimation = nullptr, *render = nullptr,
          *exit = nullptr, *showHints = nullptr, *showToolbar = nullptr, *options = nullptr,
          *helpTopics = nullptr, *onlineHelp = nullptr, *webSite = nullptr, *about = nullptr;
  QAction* recentSeparator = nullptr;  // the recent files follow it at the end of the File menu
  QToolBar* toolBar = nullptr;
};

MainMenus BuildMainMenus(QMainWindow& window);

// The menus' texts and the tool buttons' hints in the language of `tr`.
void LocalizeMenus(const MainMenus& menus, const std::function<QString(const char*)>& tr);

}  // namespace quarvel
