#include "settings_file.h"

#include <charconv>
#include <utility>

namespace quarvel {

std::optional<int32_t> ParseSettingsInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.starts_with("$")) {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty() || text[0] == '-' || text[0] == '+') return std::nullopt;
  uint64_t magnitude = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (base == 16) {
    // Up to 32 bits of hexadecimal, as the two's complement pattern: $FFFFFFFF is -1.
    if (magnitude > UINT32_MAX) return std::nullopt;
    const auto bits = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
    return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(bits)) : bits;
  }
  const int64_t value = negative ? -int64_t(magnitude) : int64_t(magnitude);
  if (magnitude > uint64_t(INT32_MAX) + 1 || value > INT32_MAX || value < INT32_MIN)
    return std::nullopt;
  return static_cast<int32_t>(value);
}

std::string SettingsFile::ReadString(std::string_view section, std::string_view key,
                                     std::string_view def) const {
  return batch_ ? batch_->Read(section, key, def) : ini_.Read(section, key, def);
}

int32_t SettingsFile::ReadInteger(std::string_view section, std::string_view key,
                                  int32_t def) const {
  return ParseSettingsInteger(ReadString(section, key, "")).value_or(def);
}

bool SettingsFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void SettingsFile::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
  if (batch_)
    batch_->Write(section, key, value);
  else
    Check(ini_.Write(section, key, value));
}

void SettingsFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void SettingsFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void SettingsFile::EraseSection(std::string_view section) {
  if (batch_)
    batch_->EraseSection(section);
  else
    Check(ini_.EraseSection(section));
}

void SettingsFile::DeleteKey(std::string_view section, std::string_view key) {
  if (batch_)
    batch_->DeleteKey(section, key);
  else
    Check(ini_.DeleteKey(section, key));
}

void SettingsFile::Update(const std::function<void()>& edits) {
  if (batch_) {
    edits();
    return;
  }
  ErrorText written = ini_.Update([&](IniDocument& d) {
    batch_ = &d;
    try {
      edits();
    } catch (...) {
      batch_ = nullptr;
      throw;
    }
    batch_ = nullptr;
  });
  Check(std::move(written));
}

void SettingsFile::Check(ErrorText written) {
  if (!written.empty()) throw SettingsWriteError(std::move(written));
}

}  // namespace quarvel
