#include "batch_child.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <thread>

#include "stop_signals.h"

namespace quarvel {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxCaught = 4096;   // the end of the child's output that is kept
constexpr size_t kMaxMessage = 1024;  // the longest message the child may send back
constexpr int kGraceSeconds = 2;      // what a child asked to stop has before it is killed

// The child's report (its exit code is its status): this header, then `messageSize` bytes of
// message.
struct Record {
  uint64_t faces;
  uint64_t messageSize;
};

struct Pipe {
  int read = -1;
  int write = -1;
};

Pipe MakePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return {};
  ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
  return {fds[0], fds[1]};
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;
    p += w;
    n -= size_t(w);
  }
}

uint64_t MappedNow() {
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  statm >> pages;
  return pages * uint64_t(::sysconf(_SC_PAGESIZE));
}

// A limit of CPU time past which the kernel kills the child (SIGKILL, the soft limit being the
// hard one), for when its parent cannot: the time budget and the grace after it, on every
// processor, and a second more. 0: no time budget, no limit.
rlim_t CpuLimit(double seconds) {
  if (seconds <= 0) return RLIM_INFINITY;
  const double processors = std::max(1u, std::thread::hardware_concurrency());
  const double limit = std::ceil((seconds + kGraceSeconds + 1) * processors);
  return limit < double(RLIM_INFINITY / 2) ? rlim_t(limit) : RLIM_INFINITY;
}

// The child's side: its end tied to its parent's, output to the catching pipe, the budget, a
// look at the folder it inherits, the render, the report.
[[noreturn]] void RunChild(const RenderModel& render, const std::string& model,
                           const OutFolder& folder, const ChildBudget& budget, pid_t parent,
                           int output, int report) {
  // A parent killed outright (SIGKILL) cannot stop its child: the kernel sends it SIGTERM, which
  // it takes as any stop request (the file under way removed, within moments); the CPU-time
  // limit ends one that goes on. A parent that ended before the call is seen by its pid.
  if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent) ::_exit(128 + SIGTERM);
  // Standard input may be the list itself: the render must not take lines from it.
  const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (nothing >= 0) ::dup2(nothing, STDIN_FILENO);
  ::dup2(output, STDOUT_FILENO);
  ::dup2(output, STDERR_FILENO);
  if (const uint64_t memory = budget.memory; memory != 0) {
    const uint64_t mapped = MappedNow();
    const rlim_t limit = memory < RLIM_INFINITY - mapped ? mapped + memory : RLIM_INFINITY;
    const rlimit r{limit, limit};
    ::setrlimit(RLIMIT_AS, &r);
  }
  const rlimit cpu{CpuLimit(budget.seconds), CpuLimit(budget.seconds)};
  ::setrlimit(RLIMIT_CPU, &cpu);
  ModelOutcome outcome;
  struct stat st {};
  try {
    if (::fstat(folder.fd, &st) == 0 && S_ISDIR(st.st_mode))
      outcome = render(model, folder);
    else
      outcome = {4, 0, "the model's folder is not open"};
  } catch (const std::bad_alloc&) {
    outcome = {5, 0, "out of memory"};
  } catch (const std::exception& e) {
    outcome = {5, 0, e.what()};
  }
  std::fflush(nullptr);
  const size_t size = outcome.message.size() < kMaxMessage ? outcome.message.size() : kMaxMessage;
  const Record record{outcome.faces, size};
  char bytes[sizeof record + kMaxMessage];
  std::memcpy(bytes, &record, sizeof record);
  std::memcpy(bytes + sizeof record, outcome.message.data(), size);
  WriteAll(report, bytes, sizeof record + size);
  ::_exit(outcome.exitCode & 0xFF);
}

// Reads what the pipe holds now into `into`, keeping at most `keep` bytes from its end. Closes
// the pipe at its end.
void Drain(int& fd, std::string& into, size_t keep) {
  char buffer[4096];
  while (fd >= 0) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;  // nothing more for now
    if (n == 0) CloseFd(fd);
    into.append(buffer, size_t(n));
    if (into.size() > keep) into.erase(0, into.size() - keep);
  }
}

// The last line of the text that holds more than blanks.
std::string LastLine(const std::string& text) {
  size_t end = text.size();
  while (end > 0) {
    const size_t start = text.find_last_of('\n', end - 1);
    const size_t from = start == std::string::npos ? 0 : start + 1;
    const std::string line = text.substr(from, end - from);
    if (line.find_first_not_of(" \t\r") != std::string::npos) return line;
    end = from == 0 ? 0 : from - 1;
  }
  return "";
}

// The line without the "quarvel-render: MODEL: " that the program's errors start with, which
// the row and the batch's own error line already say.
std::string WithoutPrefix(std::string line, const std::string& model) {
  for (const std::string& prefix : {std::string("quarvel-render: "), model + ": "})
    if (line.starts_with(prefix)) line.erase(0, prefix.size());
  return line;
}

// The outcome the child's report and its end say.
ModelOutcome Outcome(int status, const std::string& report, const std::string& caught,
                     const std::string& model) {
  ModelOutcome outcome;
  Record record{};
  if (report.size() >= sizeof record) {
    std::memcpy(&record, report.data(), sizeof record);
    outcome.faces = record.faces;
    outcome.message = report.substr(sizeof record, record.messageSize);
  }
  if (WIFSIGNALED(status)) {
    outcome.exitCode = 128 + WTERMSIG(status);
    outcome.message = "crashed (" + SignalName(WTERMSIG(status)) + ")";
  } else {
    outcome.exitCode = WEXITSTATUS(status);
  }
  if (outcome.exitCode != 0 && outcome.message.empty())
    outcome.message = WithoutPrefix(LastLine(caught), model);
  return outcome;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

// Asks the child to stop as a signal asks quarvel-render, so that the file it is writing is
// finished or removed rather than cut off with its temporary left behind, and kills it when it
// has not ended within the grace (a child that hangs, or ignores the signal). What it prints
// meanwhile is read, so that it never waits on a full pipe.
void StopChild(pid_t pid, int& status, int output, std::string& caught) {
  ::kill(pid, SIGTERM);
  const auto until = Clock::now() + std::chrono::seconds(kGraceSeconds);
  while (Clock::now() < until) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return;
    pollfd fd{output, POLLIN, 0};
    ::poll(&fd, 1, 10);
    Drain(output, caught, kMaxCaught);
  }
  ::kill(pid, SIGKILL);
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

ChildRun RenderInChild(const RenderModel& render, const std::string& model, const OutFolder& folder,
                       const ChildBudget& budget) {
  ChildRun run;
  Pipe output = MakePipe(), report = MakePipe();
  std::fflush(nullptr);
  const auto start = Clock::now();
  const pid_t parent = ::getpid();
  const pid_t pid = output.read >= 0 && report.read >= 0 ? ::fork() : -1;
  if (pid == 0) RunChild(render, model, folder, budget, parent, output.write, report.write);
  CloseFd(output.write);
  CloseFd(report.write);
  if (pid < 0) {
    CloseFd(output.read);
    CloseFd(report.read);
    run.outcome = {5, 0, std::string("cannot start a process (") + std::strerror(errno) + ")"};
    return run;
  }
  const auto deadline = start + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(budget.seconds));
  int ended = int(::syscall(SYS_pidfd_open, pid, 0));
  std::string caught, reported;
  int status = 0;
  bool timedOut = false;
  while (::waitpid(pid, &status, WNOHANG) != pid) {
    run.stopSignal = StopSignal();
    timedOut = budget.seconds > 0 && Clock::now() >= deadline;
    if (run.stopSignal != 0 || timedOut) {
      StopChild(pid, status, output.read, caught);
      break;
    }
    // The pidfd wakes the wait when the child ends; with none (an old kernel), a child that
    // closed its pipes is looked at every 10 ms.
    pollfd fds[3] = {{output.read, POLLIN, 0}, {report.read, POLLIN, 0}, {ended, POLLIN, 0}};
    ::poll(fds, 3, output.read < 0 && report.read < 0 && ended < 0 ? 10 : 100);
    Drain(output.read, caught, kMaxCaught);
    Drain(report.read, reported, sizeof(Record) + kMaxMessage);
  }
  Drain(output.read, caught, kMaxCaught);
  Drain(report.read, reported, sizeof(Record) + kMaxMessage);
  CloseFd(output.read);
  CloseFd(report.read);
  CloseFd(ended);
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.signalled = WIFSIGNALED(status);
  if (timedOut)
    run.outcome = {124, 0, "timed out after " + Seconds(budget.seconds) + " s"};
  else
    run.outcome = Outcome(status, reported, caught, model);
  return run;
}

}  // namespace quarvel
