// The output folders of a batch: a folder per model below the output folder, made without ever
// following a symbolic link below it, and the marker that says a model's outputs are complete.
#pragma once

#include <string>

namespace quarvel {

// The name of the marker file in a model's folder.
constexpr const char* kDoneMarker = ".quarvel-done";

// Makes the output folder and the folders above it that are missing, and opens it. Returns the
// open folder, or -1 with `error` set.
int OpenOutputFolder(const std::string& path, std::string& error);

// Opens the folder `relative` below the open folder `outDir`, making what is missing, one
// component at a time: a component that is a symbolic link (another user's, in a shared output
// folder) is never followed and fails. Returns the open folder, or -1 with `error` set.
int OpenModelFolder(int outDir, const std::string& relative, std::string& error);

// Whether the open folder holds the marker as a regular file.
bool HasDoneMarker(int folder);

// Removes the marker from the open folder, when it is there.
void RemoveDoneMarker(int folder);

// Writes the marker into the folder at `path`, whole. Returns "" or why it could not.
std::string WriteDoneMarker(const std::string& path, const std::string& model);

}  // namespace quarvel
