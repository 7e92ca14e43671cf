// What the main window remembers in the settings file: the "Props" section, the recent-files
// list in "Recent", and the animation export's "Video" section.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/default_colors.h"
#include "settings_file.h"

namespace quarvel {

enum WindowState : int32_t { kNormal = 0, kMinimized = 1, kMaximized = 2 };

struct Props {
  bool SingleInstance = false;
  int32_t left = 130, width = 675, top = 183, height = 505;
  int32_t WindowState = kMaximized;
  int32_t PicWidth = 640, PicHeight = 480;  // 100 to 10000
  std::string OpenDir, SaveDir;
  int32_t Splitter = 250;
  bool Hints = true, ToolBar = true;
  uint32_t ObjColor = kDefaultObjColor, LightColor = kDefaultLightColor;
  std::string language = "English";
};

constexpr int32_t kMinPicSize = 100, kMaxPicSize = 10000;

// Reads "Props" in the order the main window applies it. The output size is brought into 100 to
// 10000, as the size controls do.
Props ReadProps(const SettingsFile& file);

// Writes "Props": "WindowState", the normal bounds unless maximized (a maximized window keeps
// the last normal bounds in the file), then the rest, in one replacement of the file. Throws
// SettingsWriteError, leaving the file as it was.
void WriteProps(SettingsFile& file, const Props& props);

// The main window's save: nothing while the window is still being built (`settingsReady` false)
// or after the settings file has been released (`file` null); otherwise WriteProps and, when
// `recent` is given, SaveRecent, together in one replacement of the file.
void SaveSettings(SettingsFile* file, bool settingsReady, const Props& props,
                  const std::vector<std::string>* recent = nullptr);

// The recent-files list: at most five full paths, the most recent first.
constexpr size_t kMaxRecent = 5;
std::vector<std::string> LoadRecent(const SettingsFile& file);
// Rewrites "Recent" with the list, in one replacement of the file.
void SaveRecent(SettingsFile& file, const std::vector<std::string>& recent);
// Puts `path` at the top, moving it there when it is listed already (the same bytes: names that
// differ in case are different files) and dropping the oldest beyond five.
void AddRecent(std::vector<std::string>& recent, const std::string& path);

// The animation export's settings, as stored; the dialog brings them into its controls' ranges.
struct VideoSettings {
  int32_t fccHandler = 0, dwKeyFrameEvery = 0, dwQuality = 0, dwBytesPerSecond = 0, dwFlags = 0,
          dwInterleaveEvery = 0;
  int32_t ExportMode = 1;  // 0 BMP sequence, otherwise AVI
  int32_t FrameRate = 25, NumFrames = 60;
  int32_t XCyrcle = 0, YCyrcle = 1, ZCyrcle = 0;
  bool XScale = true, YScale = false, ZScale = true;
  std::string SaveAVIDir;
};

VideoSettings ReadVideoSettings(const SettingsFile& file);
// Writes the "Video" keys, in one replacement of the file; "SaveAVIDir" only when
// `writeSaveAVIDir` (a file was chosen).
void WriteVideoSettings(SettingsFile& file, const VideoSettings& video, bool writeSaveAVIDir);

}  // namespace quarvel
