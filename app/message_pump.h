// Lets the window process pending messages while long work runs on its thread (painting, the
// progress bar, Esc and Cancel), at most once every `intervalMs`. The import asks after every
// face, so the clock is read only on every fourth call.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

namespace quarvel {

struct MessagePump {
  int intervalMs = 15;

  void Pump() {
    if (++calls_ % 4 != 0) return;
    if (timer_.isValid() && timer_.elapsed() < intervalMs) return;
    QCoreApplication::processEvents();
    timer_.start();
  }

 private:
  QElapsedTimer timer_;
  unsigned calls_ = 0;
};

}  // namespace quarvel
