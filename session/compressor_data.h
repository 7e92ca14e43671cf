// The compressor data file (comprd2.dat): the two blocks of the compression options, each a
// signed 32-bit little-endian size followed by that many bytes, the format block first.
#pragma once

#include <string>

#include "session/video_writer.h"
#include "settings/props.h"

namespace quarvel {

// Reads the blocks into `options`. A missing file gives none; a block whose size is negative
// or larger than what is left of the file is dropped with everything after it, without
// allocating it. Returns whether both blocks were read.
bool ReadCompressorData(const std::string& path, CompressOptions& options);
// Replaces the file whole with the options' blocks. Returns whether it was written.
bool WriteCompressorData(const std::string& path, const CompressOptions& options);

// The compression options as the "Video" keys and the data file hold them, and back.
CompressOptions LoadCompressOptions(const VideoSettings& video, const std::string& dataPath);
void StoreCompressOptions(const CompressOptions& options, VideoSettings& video,
                          const std::string& dataPath);

}  // namespace quarvel
