// Running copies of Quarvel: ending earlier ones when only one may run, and being ended by a newer
// one. A newer copy sends SIGTERM; Quarvel then cancels its current work, saves its settings and
// closes, so no file it is writing is left damaged.
#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace quarvel {

// Sends SIGTERM to every earlier copy of this program: each other process of this user in this
// session that runs the same executable file (same device and inode) under the same file name.
// A program that merely has a similar name is never touched. Returns how many were asked to end.
int EndOtherInstances();

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered on the user-interface thread. The
// handler itself sets StopRequested and AbortRequested, so that a render under way ends at once
// and an animation run or a load as Cancel or Esc would end it.
class TerminationWatcher : public QObject {
  Q_OBJECT
 public:
  explicit TerminationWatcher(QObject* parent = nullptr);
  ~TerminationWatcher() override;

 signals:
  void terminateRequested();

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace quarvel
