#include "form_settings.h"

#include <utility>

namespace quarvel {

FormSettings::FormSettings(const std::string& path, std::function<void(const ErrorText&)> report)
    : file_(std::make_unique<SettingsFile>(path)),
      props_(ReadProps(*file_)),
      report_(std::move(report)) {}

std::vector<std::string> FormSettings::Recent() const {
  return file_ ? LoadRecent(*file_) : std::vector<std::string>{};
}

void FormSettings::Save(const Props& current) {
  try {
    SaveSettings(file_.get(), ready_, current);
    errorShown_ = false;
  } catch (const SettingsWriteError& e) {
    if (!errorShown_) report_(e.error);
    errorShown_ = true;
  }
}

void FormSettings::Close(const Props& current, const std::vector<std::string>& recent) {
  if (!file_) return;
  try {
    SaveSettings(file_.get(), ready_, current, &recent);
  } catch (const SettingsWriteError& e) {
    if (!errorShown_) report_(e.error);
  }
  file_.reset();
}

}  // namespace quarvel
