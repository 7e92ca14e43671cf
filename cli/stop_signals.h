// How quarvel-render stops when asked to: SIGINT, SIGTERM and SIGHUP end the run within a moment,
// the picture being drawn dropped and a file being written finished or removed (an earlier file
// left as it was), instead of the program being cut off where it stood.
#pragma once

#include <string>

namespace quarvel {

// Catches SIGINT, SIGTERM and SIGHUP: the handler notes the signal and sets AbortRequested, which
// the runs and the model readers look at, and StopRequested, which cuts a render short. A signal
// ignored when the program started (nohup, a background job) stays ignored. SIGXFSZ is ignored, so
// that a file-size limit makes a write fail with a reason (EFBIG) instead of ending the program in
// the middle of a file.
void CatchStopSignals();

// The signal that asked the program to stop, 0 while none has.
int StopSignal();

// A signal's name, such as "SIGTERM" ("signal 99" for one without a name).
std::string SignalName(int signal);

}  // namespace quarvel
