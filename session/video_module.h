// The FFmpeg side of the AVI writer (the muxer, the encoders, the list of compressors) lives in a
// module of its own, quarvel-avi.so, loaded the first time a program writes an AVI file or lists
// the compressors. FFmpeg brings over a hundred shared libraries, which would otherwise be loaded
// at the start of every process: 26 ms and 27 MiB before anything else, for a mask that needs
// none of them.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "render/mask_image.h"
#include "session/video_writer.h"

namespace quarvel {

// The frames of a stream: the mask's size, its row stride and the frame rate.
struct FrameGeometry {
  int width = 0, height = 0, stride = 0, fps = 25;
};

struct VideoStream;  // a file being written, with its muxer and encoder

// What the module offers, as TVideoWriter uses it.
struct VideoModule {
  const std::vector<CodecInfo>& (*codecs)();
  // Gets a stream ready on `fd`, a new file open for writing, which the stream then owns (it is
  // closed at once when the stream cannot be made); null without memory.
  VideoStream* (*open)(const FrameGeometry& g, const std::array<uint8_t, kBitmapInfoSize>& info,
                       int fd);
  // The AVIERR code of one frame, 0 when it is written.
  uint32_t (*write)(VideoStream* s, std::span<const uint8_t> pixels, int sample,
                    const CompressOptions& o);
  // Writes the index and the header; false when the file is not whole.
  bool (*finish)(VideoStream* s, const CompressOptions& o);
  // The errno of the last call on the stream's file that failed, 0 when none has.
  int (*fileError)(const VideoStream* s);
  // Why the options' compressor did not take the frames, which went uncompressed: empty when it
  // took them, when there is none, or before the first frame.
  const std::string& (*refusal)(const VideoStream* s);
  // Whether FFmpeg's own messages go to standard error (at first they do not).
  void (*showLog)(bool shown);
  void (*free)(VideoStream* s);
};

// The module, loaded once: from the executable's folder (a build), else from ../lib/quarvel/
// (an installed copy). Null when it cannot be loaded: no compressors, and no AVI file opens.
const VideoModule* LoadVideoModule();

}  // namespace quarvel

// The module's one entry point.
extern "C" const quarvel::VideoModule* QuarvelVideoModule();
