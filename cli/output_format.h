// The file formats quarvel-render writes: the 8-bit mask as BMP or PNG, 16-bit levels as PNG,
// and the depth itself as PFM or OpenEXR floats.
#pragma once

#include <optional>
#include <string>

namespace quarvel {

enum class OutputFormat { Bmp, Png, Png16, Pfm, Exr };

// The format's name on the command line: bmp, png, png16, pfm, exr.
std::string FormatName(OutputFormat format);
std::optional<OutputFormat> FormatByName(const std::string& name);

// The extension of its files, dot included: .bmp, .png (png16 too), .pfm, .exr.
std::string FormatExtension(OutputFormat format);

// The format a file name's extension stands for (any case): .bmp, .png (8-bit), .pfm, .exr;
// BMP for any other name.
OutputFormat FormatOfFileName(const std::string& path);

// Whether the format holds grey levels (8 or 16 bits) made from a depth range, rather than the
// depth itself.
bool HoldsLevels(OutputFormat format);

}  // namespace quarvel
