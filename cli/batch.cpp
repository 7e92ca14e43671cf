#include "batch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unordered_map>

#include "base/file_io.h"
#include "batch_child.h"
#include "batch_folder.h"
#include "batch_list.h"
#include "batch_results.h"
#include "printable_text.h"
#include "stop_signals.h"

namespace quarvel {

namespace {

// Exit codes of a model that failed before it could be rendered.
constexpr int kBadName = 2;    // its line names no folder of its own below the output folder
constexpr int kBadFolder = 4;  // its folder could not be made or its marker not written

struct Tally {
  long rendered = 0;
  long skipped = 0;
  long failed = 0;
};

void PrintError(const std::string& what, const std::string& message) {
  std::fprintf(stderr, "quarvel-render: %s: %s\n", PrintableText(what).c_str(),
               PrintableText(message).c_str());
}

std::string ResultsName(const BatchOptions& options) {
  if (options.shardCount <= 1) return "results.tsv";
  return "results-" + std::to_string(options.shardIndex) + "-of-" +
         std::to_string(options.shardCount) + ".tsv";
}

// Everything a batch has open while it runs.
struct Batch {
  const BatchOptions& options;
  const RenderModel& render;
  int outDir;
  ResultsFile& results;
  std::string resultsName;
  Tally tally;
};

// Records a model's row, and says on standard error why it failed. False when the row could not
// be written.
bool Record(Batch& batch, const std::string& model, const ModelOutcome& outcome, double seconds) {
  ++(outcome.exitCode == 0 ? batch.tally.rendered : batch.tally.failed);
  if (outcome.exitCode != 0) PrintError(model, outcome.message);
  if (batch.results.Add(model, outcome, seconds)) return true;
  PrintError(batch.resultsName, "cannot write the results (" + ErrorReason(errno) + ")");
  return false;
}

// Renders one model of the share into the folder `name` gives, or skips it as done. Returns the
// stop signal that ended its render, -1 when its row could not be written, else 0.
int RunModel(Batch& batch, const std::string& model, const FolderName& name) {
  if (!name.error.empty()) return Record(batch, model, {kBadName, 0, name.error}, 0) ? 0 : -1;
  std::string error;
  ModelFolder folder = OpenModelFolder(batch.outDir, name.relative, error);
  if (folder.fd < 0) return Record(batch, model, {kBadFolder, 0, error}, 0) ? 0 : -1;
  const bool done = HasDoneMarker(folder.fd);
  if (done && !batch.options.skipDone) RemoveDoneMarker(folder.fd);
  if (done && batch.options.skipDone) {
    CloseModelFolder(folder);
    ++batch.tally.skipped;
    return 0;
  }
  // The child writes into the folder opened here, whatever its name leads to meanwhile.
  const OutFolder out{folder.fd, batch.options.outDir + "/" + name.relative};
  // A second before the child starts, as file times come from a coarser clock.
  const time_t started = std::time(nullptr) - 1;
  ChildRun run = RenderInChild(batch.render, model, out,
                               {batch.options.modelTimeout, batch.options.modelMemory});
  if (run.signalled) RemoveTemporaries(folder.fd, started);
  if (run.stopSignal == 0 && run.outcome.exitCode == 0) {
    const std::string why = WriteDoneMarker(out, model);
    if (!why.empty())
      run.outcome = {kBadFolder, run.outcome.faces,
                     "cannot mark as done: " + out.path + "/" + kDoneMarker + " (" + why + ")"};
  }
  CloseModelFolder(folder);  // a failed model's folders go when they hold nothing
  if (run.stopSignal != 0) return run.stopSignal;
  return Record(batch, model, run.outcome, run.seconds) ? 0 : -1;
}

// The batch's last line: what it came to, and when a signal stopped it, after how many of the
// models of its share.
void PrintSummary(const Tally& tally, int stop, long share) {
  std::string stopped;
  if (stop != 0) {
    stopped = "stopped by " + SignalName(stop) + " after " +
              std::to_string(tally.rendered + tally.skipped + tally.failed) + " of " +
              std::to_string(share) + " models: ";
  }
  std::fprintf(stderr, "quarvel-render: %s%ld rendered, %ld skipped as done, %ld failed\n",
               stopped.c_str(), tally.rendered, tally.skipped, tally.failed);
}

}  // namespace

int RunBatch(const BatchOptions& options, const RenderModel& render) {
  if (options.shardCount < 1 || options.shardIndex < 0 ||
      options.shardIndex >= options.shardCount) {
    PrintError("--shard", "I must be from 0 to N - 1");
    return 2;
  }
  ModelList list(options.list);
  if (!list.error().empty()) {
    PrintError(options.list, "cannot read the list (" + list.error() + ")");
    return 2;
  }
  std::string error;
  const int outDir = OpenOutputFolder(options.outDir, error);
  if (outDir < 0) {
    PrintError(options.outDir, "cannot use the output folder (" + error + ")");
    return 2;
  }
  const std::string resultsName = options.results.empty() ? ResultsName(options) : options.results;
  ResultsFile results(options.results.empty() ? outDir : AT_FDCWD, resultsName, list.file());
  if (!results.error().empty()) {
    ::close(outDir);
    PrintError(options.results.empty() ? options.outDir + "/" + resultsName : resultsName,
               "cannot write the results (" + results.error() + ")");
    return 2;
  }
  Batch batch{options, render, outDir, results, resultsName, {}};
  int stop = 0;
  bool broken = false;
  std::string model;
  bool tooLong = false;
  long line = 0;
  std::unordered_map<std::string, long> folders;  // each model folder's first line, every share's
  for (long index = 0; !broken && list.Next(model, tooLong, line); ++index) {
    if ((stop = StopSignal()) != 0) break;
    FolderName name =
        tooLong ? FolderName{"", "path too long"} : ModelFolderName(model, options.root);
    if (name.error.empty()) {
      const auto [first, isNew] = folders.emplace(name.relative, line);
      if (!isNew) name = {"", "same folder as line " + std::to_string(first->second)};
    }
    if (index % options.shardCount != options.shardIndex) continue;
    const int result = RunModel(batch, model, name);
    broken = result < 0;
    stop = result > 0 ? result : 0;
    if (stop != 0) break;
  }
  ::close(outDir);
  if (stop == 0) stop = StopSignal();  // one that came after the last model
  const long share =
      (list.size() + options.shardCount - 1 - options.shardIndex) / options.shardCount;
  PrintSummary(batch.tally, stop, share);
  if (stop != 0) return 128 + stop;
  if (broken) return 2;
  return batch.tally.failed == 0 ? 0 : 1;
}

}  // namespace quarvel
