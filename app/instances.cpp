#include "instances.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

namespace quarvel {

namespace {

int termPipe[2] = {-1, -1};

void OnTerm(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(termPipe[1], &byte, 1);
}

// The file name of a process's executable, without the mark of a replaced file.
QString ExecutableName(const QString& exeLink) {
  QString target = QFileInfo(exeLink).symLinkTarget();
  if (target.endsWith(" (deleted)")) target.chop(10);
  return QFileInfo(target).fileName().toUpper();
}

}  // namespace

int EndOtherInstances() {
  const QString own = ExecutableName("/proc/self/exe");
  const pid_t self = ::getpid();
  int ended = 0;
  for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool numeric = false;
    const pid_t pid = entry.toInt(&numeric);
    if (!numeric || pid == self) continue;
    struct stat st {};
    if (::stat(("/proc/" + entry.toStdString()).c_str(), &st) != 0 || st.st_uid != ::getuid())
      continue;
    if (ExecutableName("/proc/" + entry + "/exe") != own) continue;
    if (::kill(pid, SIGTERM) == 0) ++ended;
  }
  return ended;
}

TerminationWatcher::TerminationWatcher(QObject* parent) : QObject(parent) {
  if (termPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, termPipe) != 0)
    return;
  notifier_ = new QSocketNotifier(termPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    char byte;
    [[maybe_unused]] const ssize_t n = ::read(termPipe[0], &byte, 1);
    emit terminateRequested();
  });
  struct sigaction action {};
  action.sa_handler = OnTerm;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
}

TerminationWatcher::~TerminationWatcher() {
  ::signal(SIGTERM, SIG_DFL);
}

}  // namespace quarvel
