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

// A failure as the program reports it: its English text, with "%s" standing for `arg`.
struct ErrorText {
  std::string text;
  std::string arg;
  std::string reason =
      {};  // the system's reason (strerror), untranslated; empty when there is none

  bool empty() const { return text.empty(); }
  // The text in the user's language, with the argument in place.
  std::string Message(const Feedback& fb) const {
    std::string m = fb.Tr(text);
    if (const size_t at = m.find("%s"); at != std::string::npos) m.replace(at, 2, arg);
    return m;
  }
  // The message, then on a line of its own the file (where the text does not name it already)
  // and the system's reason: what a message box shows.
  std::string MessageWithReason(const Feedback& fb) const {
    std::string detail = text.find("%s") == std::string::npos ? arg : "";
    if (!reason.empty()) detail += (detail.empty() ? "" : ": ") + reason;
    return detail.empty() ? Message(fb) : Message(fb) + "\n" + detail;
  }
};

}  // namespace quarvel
