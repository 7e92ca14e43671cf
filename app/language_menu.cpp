#include "language_menu.h"

#include <QAction>
#include <utility>

namespace quarvel {

LanguageMenu::LanguageMenu(QMenu* menu, const FileLocations& locations,
                           std::function<void()> changed)
    : QObject(menu), menu_(menu), locations_(locations), changed_(std::move(changed)) {}

void LanguageMenu::Build(const std::string& stored) {
  entries_ = BuildLanguageMenu(locations_.LanguageFiles(), stored);
  menu_->clear();
  menu_->menuAction()->setVisible(!entries_.empty());
  for (size_t i = 0; i < entries_.size(); ++i) {
    auto* a = menu_->addAction(QString::fromUtf8(entries_[i].caption));
    a->setCheckable(true);
    a->setChecked(entries_[i].checked);
    connect(a, &QAction::triggered, this, [this, i] { LanguageMenuClick(i); });
  }
  Use(CurrentLanguage(entries_));
}

void LanguageMenu::LanguageMenuClick(size_t index) {
  CheckLanguage(entries_, index);
  const auto actions = menu_->actions();
  for (int i = 0; i < actions.size(); ++i)
    actions[i]->setChecked(entries_[size_t(i)].checked);
  Use(entries_[index].caption);
}

void LanguageMenu::Use(const std::string& caption) {
  localizer_ = std::make_unique<TLocalizer>(locations_.LanguageFile(caption));
  localizer_->SetSection("Locale");
  changed_();
}

}  // namespace quarvel
