#include "main_menus.h"

#include <QMenuBar>
#include <utility>

namespace quarvel {

namespace {

QIcon Glyph(const QString& name) {
  QIcon icon;
  icon.addFile(":/icons/" + name + ".png", {}, QIcon::Normal);
  icon.addFile(":/icons/" + name + "-disabled.png", {}, QIcon::Disabled);
  return icon;
}

QAction* AddAction(QMenu* menu, const char* name, const QString& glyph, const QKeySequence& key) {
  auto* a = menu->addAction(QString());
  a->setObjectName(name);
  if (!glyph.isEmpty()) a->setIcon(Glyph(glyph));
  a->setShortcut(key);
  return a;
}

QMenu* AddMenu(QMenuBar* bar, const char* name) {
  QMenu* menu = bar->addMenu(QString());
  menu->setObjectName(name);
  return menu;
}

}  // namespace

MainMenus BuildMainMenus(QMainWindow& window) {
  MainMenus m;
  m.file = AddMenu(window.menuBar(), "File1");
  m.open = AddAction(m.file, "Open1", "open", QKeySequence("Ctrl+O"));
  m.save = AddAction(m.file, "Save1", "save", QKeySequence("Ctrl+S"));
  m.exportAnimation = AddAction(m.file, "ExportBMPSequence1", "export", QKeySequence("Ctrl+E"));
  m.render = AddAction(m.file, "Render1", "render", QKeySequence("Ctrl+R"));
  m.exit = AddAction(m.file, "Exit1", "exit", QKeySequence("Alt+X"));
  m.recentSeparator = m.file->addSeparator();

  m.view = AddMenu(window.menuBar(), "View1");
  m.showHints = AddAction(m.view, "Showhints1", {}, {});
  m.showHints->setCheckable(true);
  m.showToolbar = AddAction(m.view, "Showtoolbar1", {}, {});
  m.showToolbar->setCheckable(true);
  m.options = AddAction(m.view, "Options1", "options", QKeySequence("Ctrl+P"));
  m.language = m.view->addMenu(QString());
  m.language->setObjectName("Language1");

  m.help = AddMenu(window.menuBar(), "Help1");
  m.helpTopics = AddAction(m.help, "Helptopics1", "help", {});
  m.onlineHelp = AddAction(m.help, "OnlineHelp1", {}, {});
  m.webSite = AddAction(m.help, "Website1", {}, {});
  m.about = AddAction(m.help, "About1", {}, QKeySequence("Ctrl+A"));

  m.toolBar = window.addToolBar(QString());
  m.toolBar->setObjectName("ToolBar1");
  m.toolBar->setMovable(false);
  m.toolBar->setIconSize(QSize(20, 20));
  const std::pair<QAction*, const char*> buttons[] = {
      {m.open, "OpenButton"},   {m.save, "SaveButton"},   {m.exportAnimation, "AnimButton"},
      {m.render, "TestButton"}, {m.options, "OpsButton"}, {m.helpTopics, "HelpButton"},
      {m.exit, "ExitButton"}};
  for (const auto& [a, name] : buttons) {
    m.toolBar->addAction(a);
    m.toolBar->widgetForAction(a)->setObjectName(name);
  }
  return m;
}

void LocalizeMenus(const MainMenus& m, const std::function<QString(const char*)>& tr) {
  m.help->setTitle(tr("&Help"));
  m.about->setText(tr("&About"));
  m.file->setTitle(tr("&File"));
  m.open->setText(tr("&Open"));
  m.render->setText(tr("&Render"));
  m.exit->setText(tr("E&xit"));
  m.save->setText(tr("&Save"));
  m.exportAnimation->setText(tr("&Export animation"));
  m.helpTopics->setText(tr("Help &topics"));
  m.view->setTitle(tr("&View"));
  m.showHints->setText(tr("Show &hints"));
  m.showToolbar->setText(tr("Show &toolbar"));
  m.onlineHelp->setText(tr("Online H&elp"));
  m.webSite->setText(tr("&Web Site"));
  m.options->setText(tr("O&ptions"));
  m.language->setTitle(tr("&Language"));
  m.save->setToolTip(tr("Save depth mask"));
  m.open->setToolTip(tr("Open 3d model file"));
  m.exportAnimation->setToolTip(tr("Export animation"));
  m.render->setToolTip(tr("Render depth mask"));
  m.options->setToolTip(tr("Show options dialog"));
  m.helpTopics->setToolTip(tr("Help topics"));
  m.exit->setToolTip(tr("Exit"));
}

}  // namespace quarvel
