// A failure as the program reports it: what kind of failure it is, the program's English text
// and the system's reason. The text is translated only where it is shown.
#pragma once

#include <string>

#include "feedback.h"

namespace quarvel {

// What failed, which decides how the failure ends a run: quarvel-render's exit code comes from
// it, never from the text.
enum class ErrorKind {
  None,     // no failure
  Usage,    // a request that makes no sense: an output over the model, a frame rate of 0
  Import,   // a model that cannot be read: an unknown type, broken content, a read error
  File,     // a file that cannot be opened, created or written
  Failure,  // what no caller can plan for, told by an exception: not enough memory
};

// The text has "%s" standing for `arg`. Every failure sets its kind first, so that none can
// be made without one.
struct ErrorText {
  ErrorKind kind = ErrorKind::None;
  std::string text;
  std::string arg;
  std::string reason = {};  // the system's reason (strerror), untranslated; empty when none

  bool empty() const { return kind == ErrorKind::None; }
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
