// How quarvel-render stops when asked to: SIGINT, SIGTERM and SIGHUP end the run after the frame
// under way, so that what it was writing is cleaned up (a temporary file removed, an earlier
// file left as it was) instead of being cut off where it stood.
#pragma once

namespace quarvel {

// Catches SIGINT, SIGTERM and SIGHUP: the handler notes the signal and sets AbortRequested, which
// the runs and the model readers look at. A signal ignored when the program started (nohup, a
// background job) stays ignored. SIGXFSZ is ignored, so that a file-size limit makes a write
// fail with a reason (EFBIG) instead of ending the program in the middle of a file.
void CatchStopSignals();

// The signal that asked the program to stop, 0 while none has.
int StopSignal();

}  // namespace quarvel
