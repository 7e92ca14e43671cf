#include "props.h"

#include <algorithm>

namespace quarvel {

namespace {

constexpr std::string_view kProps = "Props", kRecent = "Recent", kVideo = "Video";

std::string Numbered(const char* key, size_t i) {
  return key + std::to_string(i);
}

}  // namespace

Props ReadProps(const SettingsFile& f) {
  Props p;
  p.SingleInstance = f.ReadBool(kProps, "SingleInstance", p.SingleInstance);
  p.left = f.ReadInteger(kProps, "left", p.left);
  p.width = f.ReadInteger(kProps, "width", p.width);
  p.top = f.ReadInteger(kProps, "top", p.top);
  p.height = f.ReadInteger(kProps, "height", p.height);
  p.WindowState = f.ReadInteger(kProps, "WindowState", p.WindowState);
  p.PicWidth = std::clamp(f.ReadInteger(kProps, "PicWidth", p.PicWidth), kMinPicSize, kMaxPicSize);
  p.PicHeight =
      std::clamp(f.ReadInteger(kProps, "PicHeight", p.PicHeight), kMinPicSize, kMaxPicSize);
  p.OpenDir = f.ReadString(kProps, "OpenDir", p.OpenDir);
  p.SaveDir = f.ReadString(kProps, "SaveDir", p.SaveDir);
  p.Splitter = f.ReadInteger(kProps, "Splitter", p.Splitter);
  p.Hints = f.ReadBool(kProps, "Hints", p.Hints);
  p.ToolBar = f.ReadBool(kProps, "ToolBar", p.ToolBar);
  p.ObjColor = uint32_t(f.ReadInteger(kProps, "ObjColor", int32_t(p.ObjColor)));
  p.LightColor = uint32_t(f.ReadInteger(kProps, "LightColor", int32_t(p.LightColor)));
  p.language = f.ReadString(kProps, "language", p.language);
  return p;
}

void WriteProps(SettingsFile& f, const Props& p) {
  f.Update([&] {
    f.WriteInteger(kProps, "WindowState", p.WindowState);
    if (p.WindowState != kMaximized) {
      f.WriteInteger(kProps, "left", p.left);
      f.WriteInteger(kProps, "width", p.width);
      f.WriteInteger(kProps, "top", p.top);
      f.WriteInteger(kProps, "height", p.height);
    }
    f.WriteInteger(kProps, "PicWidth", p.PicWidth);
    f.WriteInteger(kProps, "PicHeight", p.PicHeight);
    f.WriteInteger(kProps, "Splitter", p.Splitter);
    f.WriteString(kProps, "OpenDir", p.OpenDir);
    f.WriteString(kProps, "SaveDir", p.SaveDir);
    f.WriteBool(kProps, "Hints", p.Hints);
    f.WriteBool(kProps, "ToolBar", p.ToolBar);
    f.WriteBool(kProps, "SingleInstance", p.SingleInstance);
    f.WriteInteger(kProps, "ObjColor", int32_t(p.ObjColor));
    f.WriteInteger(kProps, "LightColor", int32_t(p.LightColor));
    f.WriteString(kProps, "language", p.language);
  });
}

void SaveSettings(SettingsFile* file, bool settingsReady, const Props& props,
                  const std::vector<std::string>* recent) {
  if (!file || !settingsReady) return;
  file->Update([&] {
    WriteProps(*file, props);
    if (recent) SaveRecent(*file, *recent);
  });
}

std::vector<std::string> LoadRecent(const SettingsFile& f) {
  std::vector<std::string> recent;
  for (size_t i = kMaxRecent; i-- > 0;) {
    const std::string path = f.ReadString(kRecent, Numbered("Item_", i), "");
    f.ReadInteger(kRecent, Numbered("User_", i), 0);  // kept with each entry; always 0 here
    if (!path.empty()) recent.insert(recent.begin(), path);
  }
  if (recent.size() > kMaxRecent) recent.resize(kMaxRecent);
  return recent;
}

void SaveRecent(SettingsFile& f, const std::vector<std::string>& recent) {
  f.Update([&] {
    f.EraseSection(kRecent);
    for (size_t i = 0; i < recent.size() && i < kMaxRecent; ++i) {
      f.WriteString(kRecent, Numbered("Item_", i), recent[i]);
      f.DeleteKey(kRecent, Numbered("User_", i));  // a kept number of 0 is stored as no key
    }
  });
}

void AddRecent(std::vector<std::string>& recent, const std::string& path) {
  std::erase(recent, path);
  recent.insert(recent.begin(), path);
  if (recent.size() > kMaxRecent) recent.resize(kMaxRecent);
}

VideoSettings ReadVideoSettings(const SettingsFile& f) {
  VideoSettings v;
  v.fccHandler = f.ReadInteger(kVideo, "fccHandler", v.fccHandler);
  v.dwKeyFrameEvery = f.ReadInteger(kVideo, "dwKeyFrameEvery", v.dwKeyFrameEvery);
  v.dwQuality = f.ReadInteger(kVideo, "dwQuality", v.dwQuality);
  v.dwBytesPerSecond = f.ReadInteger(kVideo, "dwBytesPerSecond", v.dwBytesPerSecond);
  v.dwFlags = f.ReadInteger(kVideo, "dwFlags", v.dwFlags);
  v.dwInterleaveEvery = f.ReadInteger(kVideo, "dwInterleaveEvery", v.dwInterleaveEvery);
  v.ExportMode = f.ReadInteger(kVideo, "ExportMode", v.ExportMode);
  v.FrameRate = f.ReadInteger(kVideo, "FrameRate", v.FrameRate);
  v.NumFrames = f.ReadInteger(kVideo, "NumFrames", v.NumFrames);
  v.XCyrcle = f.ReadInteger(kVideo, "XCyrcle", v.XCyrcle);
  v.YCyrcle = f.ReadInteger(kVideo, "YCyrcle", v.YCyrcle);
  v.ZCyrcle = f.ReadInteger(kVideo, "ZCyrcle", v.ZCyrcle);
  v.XScale = f.ReadBool(kVideo, "XScale", v.XScale);
  v.YScale = f.ReadBool(kVideo, "YScale", v.YScale);
  v.ZScale = f.ReadBool(kVideo, "ZScale", v.ZScale);
  v.SaveAVIDir = f.ReadString(kVideo, "SaveAVIDir", v.SaveAVIDir);
  return v;
}

void WriteVideoSettings(SettingsFile& f, const VideoSettings& v, bool writeSaveAVIDir) {
  f.Update([&] {
    f.WriteInteger(kVideo, "fccHandler", v.fccHandler);
    f.WriteInteger(kVideo, "dwKeyFrameEvery", v.dwKeyFrameEvery);
    f.WriteInteger(kVideo, "dwQuality", v.dwQuality);
    f.WriteInteger(kVideo, "dwBytesPerSecond", v.dwBytesPerSecond);
    f.WriteInteger(kVideo, "dwFlags", v.dwFlags);
    f.WriteInteger(kVideo, "dwInterleaveEvery", v.dwInterleaveEvery);
    f.WriteInteger(kVideo, "ExportMode", v.ExportMode);
    f.WriteInteger(kVideo, "FrameRate", v.FrameRate);
    f.WriteInteger(kVideo, "NumFrames", v.NumFrames);
    f.WriteInteger(kVideo, "XCyrcle", v.XCyrcle);
    f.WriteInteger(kVideo, "YCyrcle", v.YCyrcle);
    f.WriteInteger(kVideo, "ZCyrcle", v.ZCyrcle);
    f.WriteBool(kVideo, "XScale", v.XScale);
    f.WriteBool(kVideo, "YScale", v.YScale);
    f.WriteBool(kVideo, "ZScale", v.ZScale);
    if (writeSaveAVIDir) f.WriteString(kVideo, "SaveAVIDir", v.SaveAVIDir);
  });
}

}  // namespace quarvel
