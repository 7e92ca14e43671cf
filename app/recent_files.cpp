#include "recent_files.h"

#include <QFileInfo>
#include <utility>

#include "dialogs/dialogs.h"
#include "settings/props.h"

namespace quarvel {

RecentFiles::RecentFiles(QMenu* menu, QAction* separator, std::function<void(const QString&)> open)
    : QObject(menu), menu_(menu), separator_(separator), open_(std::move(open)) {
  Rebuild();
}

void RecentFiles::Set(std::vector<std::string> list) {
  list_ = std::move(list);
  Rebuild();
}

void RecentFiles::Add(const std::string& path) {
  AddRecent(list_, path);
  Rebuild();
}

void RecentFiles::Rebuild() {
  for (QAction* a : actions_)
    menu_->removeAction(a), a->deleteLater();
  actions_.clear();
  separator_->setVisible(!list_.empty());
  for (size_t i = 0; i < list_.size(); ++i) {
    const QString path = QString::fromStdString(list_[i]);
    // The name shows as it is: an '&' in it must not become an accelerator.
    auto* a = menu_->addAction(
        QString("&%1\t%2").arg(i + 1).arg(LiteralMenuText(QFileInfo(path).fileName())));
    a->setObjectName(QString("MRU%1").arg(i + 1));
    connect(a, &QAction::triggered, this, [this, path] { MRUClick(path); });
    actions_.push_back(a);
  }
}

void RecentFiles::MRUClick(const QString& path) {
  if (QFileInfo(path).isFile()) open_(path);
}

}  // namespace quarvel
