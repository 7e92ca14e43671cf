// How long work in the core talks to whoever runs it: status texts for the three status fields,
// a percentage, a chance to process pending window messages, and the text lookup that turns the
// program's English texts into the user's language.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace quarvel {

// The cancel request: set (to -1) by Esc in the main window or Cancel in the animation dialog,
// read and cleared by the import and the animation runs. One per process.
extern std::atomic<int32_t> AbortRequested;

// The request to end the work under way at once, set by a signal that asks the program to stop
// (SIGINT, SIGTERM, SIGHUP) and left set while the program ends. The renderers look at it every
// few rows and faces and, once it is set, throw RenderStopped, so that a picture drawn in part is
// dropped, never shown or written. Esc and Cancel do not set it: they end a run between frames.
extern std::atomic<int32_t> StopRequested;

struct RenderStopped : std::exception {
  const char* what() const noexcept override { return "the render was stopped"; }
};

// Throws RenderStopped once a stop is requested: one relaxed load, cheap enough for inner loops.
// The renderers call it for every row they draw and at least once every kFacesBetweenStops faces.
constexpr size_t kFacesBetweenStops = 1024;
inline void StopIfRequested() {
  if (StopRequested.load(std::memory_order_relaxed) != 0) throw RenderStopped();
}

struct Feedback {
  std::function<void(int field, const std::string& text)> status;
  std::function<void(int percent)> progress;
  std::function<void()> processMessages;
  std::function<std::string(const std::string& english)> translate;

  void Status(int field, const std::string& text) const {
    if (status) status(field, text);
  }
  void Progress(int percent) const {
    if (progress) progress(percent);
  }
  void ProcessMessages() const {
    if (processMessages) processMessages();
  }
  std::string Tr(const std::string& english) const {
    return translate ? translate(english) : english;
  }
};

}  // namespace quarvel
