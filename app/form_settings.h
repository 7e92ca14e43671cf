// What the main window remembers between runs: the settings file, the values no control holds
// (folders, colours, the language...), and the saves that follow every change. A save that
// fails is reported once until one succeeds again, not once per resize step.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "settings/props.h"
#include "settings/settings_file.h"

namespace quarvel {

class FormSettings {
 public:
  // `report` shows a failed save's error.
  FormSettings(const std::string& path, std::function<void(const ErrorText&)> report);

  Props& props() { return props_; }
  const Props& props() const { return props_; }
  SettingsFile* file() const { return file_.get(); }
  std::vector<std::string> Recent() const;

  // Saves begin once the window is built: values set while it is built are not saved.
  void SetReady() { ready_ = true; }
  void Save(const Props& current);
  // The last save, with the recent files, in one replacement of the file; none after it.
  void Close(const Props& current, const std::vector<std::string>& recent);

 private:
  std::unique_ptr<SettingsFile> file_;
  Props props_;
  std::function<void(const ErrorText&)> report_;
  bool ready_ = false;
  bool errorShown_ = false;
};

}  // namespace quarvel
