#include "stop_signals.h"

#include <csignal>
#include <cstring>

#include "base/feedback.h"

namespace quarvel {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

static_assert(std::atomic<int32_t>::is_always_lock_free,
              "the handler may only store to a lock-free atomic");

void NoteStop(int signal) {
  stopSignal = signal;
  AbortRequested.store(-1, std::memory_order_relaxed);
  StopRequested.store(1, std::memory_order_relaxed);
}

}  // namespace

void CatchStopSignals() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, nullptr);
  struct sigaction stop {};
  stop.sa_handler = NoteStop;
  stop.sa_flags = SA_RESTART;  // a write under way goes on; the render stops at its next check
  sigemptyset(&stop.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction was {};
    if (::sigaction(signal, nullptr, &was) == 0 && was.sa_handler != SIG_IGN)
      ::sigaction(signal, &stop, nullptr);
  }
}

int StopSignal() {
  return stopSignal;
}

std::string SignalName(int signal) {
  const char* name = ::sigabbrev_np(signal);
  return name ? std::string("SIG") + name : "signal " + std::to_string(signal);
}

}  // namespace quarvel
