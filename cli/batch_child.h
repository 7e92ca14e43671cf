// One model of a batch rendered in a child process of its own, so that a model that crashes,
// hangs or runs out of memory takes only its own row with it.
#pragma once

#include <cstdint>
#include <string>

#include "batch.h"

namespace quarvel {

struct ChildBudget {
  double seconds = 0;  // 0: no limit; past it the child is asked to stop, then killed, and it
                       // has a limit of CPU time of its own that ends it should that fail
  uint64_t memory =
      0;  // bytes of address space beyond what the child has when it starts; 0: no limit
};

struct ChildRun {
  ModelOutcome outcome;  // what the child reported, or how it ended when it could not
  double seconds = 0;    // from the fork to the child's end
  int stopSignal = 0;    // a stop signal came while it ran: the child was killed, nothing recorded
  bool signalled = false;  // it ended by a signal, so the file it was writing may be left
};

// Renders `model` into `folder` by calling `render` in a forked child within the budget; the
// child inherits the open folder and ends when this process ends. The child's standard output
// and error are caught; when it failed without a message, the last line it wrote there is the
// message. Call it only while the process runs no other threads.
ChildRun RenderInChild(const RenderModel& render, const std::string& model, const OutFolder& folder,
                       const ChildBudget& budget);

}  // namespace quarvel
