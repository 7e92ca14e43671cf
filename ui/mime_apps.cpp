#include "mime_apps.h"

#include <algorithm>
#include <optional>

namespace quarvel {

namespace {

constexpr std::string_view kDefaultsGroup = "Default Applications";

struct Line {
  std::string_view text;  // without its line end
  std::string_view end;   // "\n", "\r\n", or empty for a last line without one
};

std::vector<Line> SplitLines(std::string_view s) {
  std::vector<Line> lines;
  size_t at = 0;
  while (at < s.size()) {
    const size_t nl = s.find('\n', at);
    const size_t next = nl == std::string_view::npos ? s.size() : nl + 1;
    size_t textEnd = nl == std::string_view::npos ? s.size() : nl;
    if (textEnd > at && nl != std::string_view::npos && s[textEnd - 1] == '\r') --textEnd;
    lines.push_back({s.substr(at, textEnd - at), s.substr(textEnd, next - textEnd)});
    at = next;
  }
  return lines;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameType(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// The name of the group a line opens, if it opens one.
std::optional<std::string_view> GroupOf(std::string_view text) {
  const std::string_view t = Trim(text);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return std::nullopt;
  return t.substr(1, t.size() - 2);
}

// What each line of the file is.
enum class Kind { Other, DefaultsGroup, OtherGroup, TypeLine, DefaultsKey };

// `mimeType`'s lines count only inside a "Default Applications" group; DefaultsKey marks the
// group's other non-blank lines, after which a new line of the type can go.
std::vector<Kind> Classify(const std::vector<Line>& lines, std::string_view mimeType) {
  std::vector<Kind> kinds;
  kinds.reserve(lines.size());
  bool inDefaults = false;
  for (const Line& line : lines) {
    if (const auto group = GroupOf(line.text)) {
      inDefaults = *group == kDefaultsGroup;
      kinds.push_back(inDefaults ? Kind::DefaultsGroup : Kind::OtherGroup);
      continue;
    }
    const std::string_view t = Trim(line.text);
    if (!inDefaults || t.empty()) {
      kinds.push_back(Kind::Other);
      continue;
    }
    const size_t eq = t.find('=');
    const bool typeLine = t.front() != '#' && eq != std::string_view::npos &&
                          SameType(Trim(t.substr(0, eq)), mimeType);
    kinds.push_back(typeLine ? Kind::TypeLine : Kind::DefaultsKey);
  }
  return kinds;
}

// The entries of a value: "a.desktop;b.desktop;" holds two; blanks around each are ignored.
std::vector<std::string> Entries(std::string_view value) {
  std::vector<std::string> entries;
  while (!value.empty()) {
    const size_t semi = value.find(';');
    const std::string_view entry = Trim(value.substr(0, semi));
    if (!entry.empty()) entries.emplace_back(entry);
    if (semi == std::string_view::npos) break;
    value.remove_prefix(semi + 1);
  }
  return entries;
}

std::string_view KeyPart(std::string_view text) {  // the key and its '=', as written
  return text.substr(0, text.find('=') + 1);
}

std::string_view ValuePart(std::string_view text) {
  return text.substr(text.find('=') + 1);
}

}  // namespace

std::vector<std::string> DefaultEntries(std::string_view list, std::string_view mimeType) {
  const std::vector<Line> lines = SplitLines(list);
  const std::vector<Kind> kinds = Classify(lines, mimeType);
  for (size_t i = 0; i < lines.size(); ++i)
    if (kinds[i] == Kind::TypeLine) return Entries(ValuePart(lines[i].text));
  return {};
}

std::string WithDefault(std::string_view list, std::string_view mimeType, std::string_view entry) {
  const std::vector<Line> lines = SplitLines(list);
  const std::vector<Kind> kinds = Classify(lines, mimeType);
  const std::string value = std::string(entry) + ";";
  const auto first =
      static_cast<size_t>(std::find(kinds.begin(), kinds.end(), Kind::TypeLine) - kinds.begin());
  const bool found = first < lines.size();
  // Where a new line goes: after the last non-blank line of the first group of defaults.
  size_t insertAfter = lines.size();
  for (size_t i = 0; i < lines.size() && !found; ++i) {
    if (kinds[i] == Kind::DefaultsGroup && insertAfter != lines.size()) break;
    if (kinds[i] == Kind::OtherGroup && insertAfter != lines.size()) break;
    if (kinds[i] == Kind::DefaultsGroup || kinds[i] == Kind::DefaultsKey) insertAfter = i;
  }

  std::string out;
  out.reserve(list.size() + mimeType.size() + value.size() + 32);
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    if (i == first) {
      // The entry first, then the others the line named, each once.
      out.append(KeyPart(line.text)).append(value);
      for (const std::string& other : Entries(ValuePart(line.text)))
        if (other != entry) out.append(other).append(";");
    } else {
      out.append(line.text);
    }
    out.append(line.end);
    if (i == insertAfter) {
      const std::string_view end = line.end.empty() ? "\n" : line.end;
      if (line.end.empty()) out.append(end);
      out.append(mimeType).append("=").append(value).append(end);
    }
  }
  if (!found && insertAfter == lines.size()) {
    if (!out.empty() && out.back() != '\n') out.append("\n");
    out.append("[").append(kDefaultsGroup).append("]\n");
    out.append(mimeType).append("=").append(value).append("\n");
  }
  return out;
}

std::string WithoutDefault(std::string_view list, std::string_view mimeType,
                           std::string_view entry) {
  const std::vector<Line> lines = SplitLines(list);
  const std::vector<Kind> kinds = Classify(lines, mimeType);
  std::string out;
  out.reserve(list.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    if (kinds[i] != Kind::TypeLine) {
      out.append(line.text).append(line.end);
      continue;
    }
    const std::vector<std::string> entries = Entries(ValuePart(line.text));
    std::string kept;
    bool removed = false;
    for (const std::string& e : entries) {
      if (e == entry)
        removed = true;
      else
        kept.append(e).append(";");
    }
    if (!removed)
      out.append(line.text).append(line.end);
    else if (!kept.empty())
      out.append(KeyPart(line.text)).append(kept).append(line.end);
  }
  return out;
}

}  // namespace quarvel
