// The Language menu: English and one entry per language file beside the program, the checked one
// giving the localizer that translates the program's texts. A click switches at once.
#pragma once

#include <QMenu>
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "settings/localizer.h"
#include "settings/locations.h"

namespace quarvel {

class LanguageMenu : public QObject {
 public:
  // `changed` runs after each switch, the first (the stored language) included.
  LanguageMenu(QMenu* menu, const FileLocations& locations, std::function<void()> changed);

  // Fills the menu from the language files, `stored` checked, and switches to it.
  void Build(const std::string& stored);
  std::string Current() const { return CurrentLanguage(entries_); }
  std::string Translate(const std::string& english) const {
    return localizer_ ? localizer_->TranslateText(english) : english;
  }

 private:
  void LanguageMenuClick(size_t index);
  void Use(const std::string& caption);

  QMenu* menu_;
  const FileLocations& locations_;
  std::function<void()> changed_;
  std::vector<LanguageEntry> entries_;
  std::unique_ptr<TLocalizer> localizer_;
};

}  // namespace quarvel
