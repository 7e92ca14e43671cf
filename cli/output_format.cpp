#include "output_format.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace quarvel {

namespace {

struct FormatNames {
  OutputFormat format;
  const char* name;
  const char* extension;
};

constexpr std::array<FormatNames, 5> kFormats = {{
    {OutputFormat::Bmp, "bmp", ".bmp"},
    {OutputFormat::Png, "png", ".png"},
    {OutputFormat::Png16, "png16", ".png"},
    {OutputFormat::Pfm, "pfm", ".pfm"},
    {OutputFormat::Exr, "exr", ".exr"},
}};

const FormatNames& NamesOf(OutputFormat format) {
  for (const FormatNames& f : kFormats)
    if (f.format == format) return f;
  return kFormats[0];
}

}  // namespace

std::string FormatName(OutputFormat format) {
  return NamesOf(format).name;
}

std::optional<OutputFormat> FormatByName(const std::string& name) {
  for (const FormatNames& f : kFormats)
    if (name == f.name) return f.format;
  return std::nullopt;
}

std::string FormatExtension(OutputFormat format) {
  return NamesOf(format).extension;
}

OutputFormat FormatOfFileName(const std::string& path) {
  const size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return OutputFormat::Bmp;
  std::string extension = path.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  // The first format of an extension is the one it stands for: .png is the 8-bit png.
  for (const FormatNames& f : kFormats)
    if (extension == f.extension) return f.format;
  return OutputFormat::Bmp;
}

bool HoldsLevels(OutputFormat format) {
  return format != OutputFormat::Pfm && format != OutputFormat::Exr;
}

}  // namespace quarvel
