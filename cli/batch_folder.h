// The output folders of a batch: a folder per model below the output folder, made without ever
// following a symbolic link below it, the marker that says a model's outputs are complete, and
// what is removed from a model's folder when its render ended early.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

#include "base/file_io.h"

namespace quarvel {

// The name of the marker file in a model's folder.
constexpr const char* kDoneMarker = ".quarvel-done";

// Makes the output folder and the folders above it that are missing, and opens it. Returns the
// open folder, or -1 with `error` set.
int OpenOutputFolder(const std::string& path, std::string& error);

// A model's folder, open, with the names of the folders on the way to it from the output folder
// (its own last) and how many of the last of them the batch made: a folder made for a model holds
// only folders made for it, so these are always the deepest.
struct ModelFolder {
  int fd = -1;
  std::vector<std::string> names;
  size_t made = 0;
};

// Opens the folder `relative` below the open folder `outDir`, making what is missing, one
// component at a time: a component that is a symbolic link (another user's, in a shared output
// folder) is never followed and fails. Returns the open folder, or one whose fd is -1 with
// `error` set, when the folders made on the way are gone again.
ModelFolder OpenModelFolder(int outDir, const std::string& relative, std::string& error);

// Closes the model's folder after removing the folders the batch made for it that are empty,
// deepest first, each found from the one below it ("..") and removed only while it is still the
// folder that was made.
void CloseModelFolder(ModelFolder& folder);

// Whether the open folder holds the marker as a regular file with its text: an empty one is a
// marker whose batch was killed before it was written, and says nothing.
bool HasDoneMarker(int folder);

// Removes the marker from the open folder, when it is there.
void RemoveDoneMarker(int folder);

// Writes the marker into `folder`, whole. Returns "" or why it could not.
std::string WriteDoneMarker(const OutFolder& folder, const std::string& model);

// Removes what a render ended by a signal left in the open folder: the temporary files (the
// names IsTempName takes) last written from `since` (seconds of the real-time clock) on, in it
// and in its folders, then those folders when they are empty. An older file with such a name is
// the user's and stays. Nothing is looked for through a link, and a link is never removed.
void RemoveTemporaries(int folder, time_t since);

}  // namespace quarvel
