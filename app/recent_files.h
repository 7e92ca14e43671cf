// The models opened last, as entries at the end of the File menu: "&1<tab>name" and so on.
// An entry whose file no longer exists does nothing.
#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <functional>
#include <string>
#include <vector>

namespace quarvel {

class RecentFiles : public QObject {
 public:
  // The entries follow `separator` in `menu`; `open` opens a model by name.
  RecentFiles(QMenu* menu, QAction* separator, std::function<void(const QString&)> open);

  const std::vector<std::string>& list() const { return list_; }
  void Set(std::vector<std::string> list);
  void Add(const std::string& path);

 private:
  void Rebuild();
  void MRUClick(const QString& path);

  QMenu* menu_;
  QAction* separator_;
  std::function<void(const QString&)> open_;
  std::vector<std::string> list_;
  std::vector<QAction*> actions_;
};

}  // namespace quarvel
