#include "instances.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDir>
#include <climits>
#include <optional>
#include <string>
#include <string_view>

#include "base/feedback.h"

namespace quarvel {

namespace {

int termPipe[2] = {-1, -1};

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Only what is safe in a handler: stores to lock-free atomics and a write. The render under way
// is cut short and a run or a load is cancelled as Cancel and Esc cancel it, at once; the window
// hears of it through the pipe once its thread handles messages.
void OnTerm(int) {
  StopRequested.store(1, std::memory_order_relaxed);
  AbortRequested.store(-1, std::memory_order_relaxed);
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(termPipe[1], &byte, 1);
}

// The executable file a process runs: its device and inode, and its file name.
struct Executable {
  dev_t device = 0;
  ino_t inode = 0;
  std::string name;
  bool operator==(const Executable&) const = default;
};

// The executable of the process whose /proc folder is `proc`; none when the process has ended or
// its executable cannot be looked at (another user's).
std::optional<Executable> ExecutableOf(const std::string& proc) {
  const std::string exe = proc + "/exe";
  struct stat st {};
  if (::stat(exe.c_str(), &st) != 0) return std::nullopt;  // the file the link leads to
  char link[PATH_MAX];
  const ssize_t n = ::readlink(exe.c_str(), link, sizeof link);
  if (n <= 0 || size_t(n) >= sizeof link) return std::nullopt;
  std::string target(link, size_t(n));
  static constexpr std::string_view kDeleted = " (deleted)";  // the mark of a replaced file
  if (target.ends_with(kDeleted)) target.resize(target.size() - kDeleted.size());
  return Executable{st.st_dev, st.st_ino, target.substr(target.find_last_of('/') + 1)};
}

// True when `pid` is another copy of this program: the same executable file under the same
// name, run by this user in this session.
bool IsOtherCopy(pid_t pid, const Executable& own) {
  const std::string proc = "/proc/" + std::to_string(pid);
  struct stat st {};
  return ::stat(proc.c_str(), &st) == 0 && st.st_uid == ::getuid() &&
         ::getsid(pid) == ::getsid(0) && ExecutableOf(proc) == own;
}

}  // namespace

int EndOtherInstances() {
  const std::optional<Executable> own = ExecutableOf("/proc/self");
  if (!own) return 0;
  const pid_t self = ::getpid();
  int ended = 0;
  for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool numeric = false;
    const pid_t pid = entry.toInt(&numeric);
    if (!numeric || pid == self) continue;
    // The process is held by a descriptor while it is looked at: should it end and its number
    // go to another process meanwhile, the signal goes nowhere. The calls are made by number:
    // this C library's header declares them for C only.
    const int process = int(::syscall(SYS_pidfd_open, pid, 0));
    if (process < 0) continue;
    if (IsOtherCopy(pid, *own) &&
        ::syscall(SYS_pidfd_send_signal, process, SIGTERM, nullptr, 0) == 0)
      ++ended;
    ::close(process);
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
  for (const int signal : kStopSignals) {
    struct sigaction was {};  // one ignored when the program started (nohup) stays ignored
    if (::sigaction(signal, nullptr, &was) == 0 && was.sa_handler != SIG_IGN)
      ::sigaction(signal, &action, nullptr);
  }
}

TerminationWatcher::~TerminationWatcher() {
  for (const int signal : kStopSignals) {
    struct sigaction was {};
    if (::sigaction(signal, nullptr, &was) == 0 && was.sa_handler == OnTerm)
      ::signal(signal, SIG_DFL);
  }
  StopRequested = 0;  // the request was this window's: another one in this process starts anew
}

}  // namespace quarvel
