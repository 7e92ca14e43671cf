// Whole collections: a list of model files rendered one after another, each in a child process
// of its own with a time and memory budget, into an output folder per model, with a row of
// results per model. A share of the list (--shard I/N) and a rerun that skips finished models
// (--skip-done) let job arrays and pre-empted jobs run without a coordinator.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/file_io.h"

namespace quarvel {

struct BatchOptions {
  std::string list;    // one model path a line; "-" for standard input
  std::string outDir;  // a folder per model below it
  std::string root;    // model paths are named relative to it; empty: as the list gives them
  int shardIndex = 0;  // this run renders the models whose line index i (counted from 0 over
  int shardCount = 1;  // the list's model lines) has i % shardCount == shardIndex
  bool skipDone = false;
  double modelTimeout = 0;   // seconds a model may take; 0: no limit
  uint64_t modelMemory = 0;  // bytes of address space a model's child may map beyond what it
                             // has when it starts; 0: no limit
  std::string results;       // the TSV file of results; empty: outDir/results.tsv, or
                             // outDir/results-I-of-N.tsv for a shard
};

// What rendering one model into its folder came to, as the child reports it.
struct ModelOutcome {
  int exitCode = 0;     // quarvel-render's exit code for that model alone
  uint64_t faces = 0;   // faces imported (0 when the model could not be read)
  std::string message;  // one line: empty when it went well
};

// Renders one model into `folder`, made and open already: every file and folder of the model is
// made relative to its descriptor (see OutFolder). Runs in the child process.
using RenderModel = std::function<ModelOutcome(const std::string& model, const OutFolder& folder)>;

// Runs the batch. Returns the process's exit code: 0 when every model of the share was rendered
// or skipped as done, 1 when any failed, 2 for a list or output folder that cannot be used (with
// the message on standard error), 128 + the signal when stopped by SIGHUP, SIGINT or SIGTERM.
int RunBatch(const BatchOptions& options, const RenderModel& render);

}  // namespace quarvel
