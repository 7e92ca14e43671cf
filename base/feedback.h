// How long work in the core talks to whoever runs it: status texts for the three status fields,
// a percentage, a chance to process pending window messages, and the text lookup that turns the
// program's English texts into the user's language.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace quarvel {

// The cancel request: set (to -1) by Esc in the main window or Cancel in the animation dialog,
// read and cleared by the import and the animation runs. One per process.
extern std::atomic<int32_t> AbortRequested;

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
