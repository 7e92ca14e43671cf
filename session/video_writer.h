// The AVI writer: one video stream of 8-bit palettised frames, each the mask's pixel block as
// stored, written uncompressed or through one of the machine's FFmpeg encoders that an AVI file
// can hold. A failure comes back as an ErrorText holding the text of the classic AVIERR_* code
// nearest to it, so that the texts stay the ones users know.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/error_text.h"
#include "render/mask_image.h"

namespace quarvel {

struct VideoStream;

// MAKE_AVIERR(n): 0x80044000 + n.
constexpr uint32_t MakeAviErr(uint32_t n) {
  return 0x80044000u + n;
}
constexpr uint32_t AVIERR_UNSUPPORTED = MakeAviErr(101), AVIERR_BADFORMAT = MakeAviErr(102),
                   AVIERR_MEMORY = MakeAviErr(103), AVIERR_INTERNAL = MakeAviErr(104),
                   AVIERR_BADFLAGS = MakeAviErr(105), AVIERR_BADPARAM = MakeAviErr(106),
                   AVIERR_BADSIZE = MakeAviErr(107), AVIERR_BADHANDLE = MakeAviErr(108),
                   AVIERR_FILEREAD = MakeAviErr(109), AVIERR_FILEWRITE = MakeAviErr(110),
                   AVIERR_FILEOPEN = MakeAviErr(111), AVIERR_COMPRESSOR = MakeAviErr(112),
                   AVIERR_NOCOMPRESSOR = MakeAviErr(113), AVIERR_READONLY = MakeAviErr(114),
                   AVIERR_NODATA = MakeAviErr(115), AVIERR_BUFFERTOOSMALL = MakeAviErr(116),
                   AVIERR_CANTCOMPRESS = MakeAviErr(117), AVIERR_USERABORT = MakeAviErr(198),
                   AVIERR_ERROR = MakeAviErr(199);

constexpr uint32_t kStreamTypeVideo = 0x73646976;  // "vids"

// The ranges of the settings the compression options dialog offers. A value outside its range
// (a settings file may hold anything) leaves the setting to the encoder.
constexpr int32_t kMaxKeyFrameEvery = 10000;
constexpr int32_t kMaxQuality = 10000;
constexpr int32_t kMaxBytesPerSecond = 1024 * 1000000;  // 1000000 KB/s

// The compression options: which compressor (its FourCC, 0 for none) and how. The two blocks
// are stored in the compressor data file and kept as they are, but never given to an encoder:
// the encoder gets the compressor's settings below and nothing else.
struct CompressOptions {
  uint32_t fccType = kStreamTypeVideo;
  uint32_t fccHandler = 0;
  int32_t dwKeyFrameEvery = 0;   // a key frame every this many frames; 0: the encoder's choice
  int32_t dwQuality = 0;         // 1 to kMaxQuality; 0: the encoder's default
  int32_t dwBytesPerSecond = 0;  // data rate; 0: the encoder's choice
  int32_t dwFlags = 0;
  std::vector<uint8_t> format;  // lpFormat, cbFormat
  std::vector<uint8_t> parms;   // lpParms, cbParms
  int32_t dwInterleaveEvery = 0;
  bool operator==(const CompressOptions&) const = default;
};

// A compressor this machine offers.
struct CodecInfo {
  uint32_t fourcc = 0;
  std::string shortName;    // FFmpeg's encoder name, such as "ffv1"
  std::string description;  // such as "FFmpeg video codec #1"
  bool lossless = false;    // gives the mask's bytes back exactly
  bool keyFrames = false;   // takes a key-frame interval
  bool quality = false;     // takes a quality
  bool dataRate = false;    // takes a data rate
};

// The encoders of this machine's FFmpeg that an AVI file can hold and that take our frames,
// lossless ones first; computed once.
const std::vector<CodecInfo>& AvailableCodecs();
// The compressor of that FourCC, or null when this machine has none.
const CodecInfo* FindCodec(uint32_t fourcc);
// "FFV1" for the FourCC of FFV1: its four characters, as in the file.
std::string FourCCText(uint32_t fourcc);

// The compression options dialog, shown by ChooseOptions. The core knows it only by this
// interface; the window supplies it.
class OptionsDialog {
 public:
  virtual ~OptionsDialog() = default;
  // Lets the user edit `options`: returns true after OK (options filled in), false after Cancel
  // (options untouched).
  virtual bool Choose(CompressOptions& options, const std::vector<CodecInfo>& codecs) = 0;
};

class TVideoWriter {
 public:
  TVideoWriter();
  ~TVideoWriter();
  TVideoWriter(const TVideoWriter&) = delete;
  TVideoWriter& operator=(const TVideoWriter&) = delete;

  // Frames per second of the next stream.
  bool SetFrameRate(int fps);
  // Takes every field but the stream type, which stays "vids".
  void SetCompressOptions(CompressOptions options);
  const CompressOptions& GetCompressOptions() const { return options_; }

  // Creates the file and its stream: the mask's size, its header and grey palette, compressed
  // with the options' compressor when this machine has it and it takes the frames, uncompressed
  // otherwise. A regular file of that name (or at the end of a link of that name, which stays)
  // is replaced at once; any other kind of file is refused and left alone. Replaces a stream
  // already held. A stream that cannot be made has no AVIERR text: its failure gives the
  // system's reason where the file was to blame ("Permission denied"), else nothing more.
  ErrorText OpenStream(const MaskImage& image, const std::string& fileName);
  // The same on `fd`, a new, empty file open for writing, such as a temporary file that is
  // renamed over the final name once the stream is closed. The writer takes `fd` over: it is
  // closed with the stream, or at once when the stream cannot be made.
  ErrorText OpenStream(const MaskImage& image, int fd);
  // Shows the options dialog for the held stream and takes the options chosen with OK. Fails
  // without a held stream ("Bad handle") or when the dialog fails ("Unspecified error").
  ErrorText ChooseOptions(OptionsDialog& dialog);
  // Writes one frame (the mask's pixel block as stored) as sample `sample`, a key frame when
  // uncompressed. "Bad handle" without a held stream; "Error writing file" comes with the
  // system's reason ("No space left on device").
  ErrorText WriteFrame(std::span<const uint8_t> pixels, int sample);
  // Finishes the file (index and header), so that it plays with the frames written so far, and
  // releases the stream. "Bad handle" without a held stream; "Error writing file" with the
  // system's reason when the file could not be finished.
  ErrorText CloseStream();

  // Why the options' compressor, which this machine has, did not take the frames of the last
  // stream, written uncompressed instead ("it needs an even width and height"); empty when it
  // took them or none was asked for. Known from the stream's first frame on.
  const std::string& Refusal() const { return refusal_; }
  // "UNCOMPRESSED", or the compressor's short name, LF CR, its description.
  std::string GetCodecName() const;

 private:
  struct StreamFree {
    void operator()(VideoStream* s) const;
  };
  using StreamPtr = std::unique_ptr<VideoStream, StreamFree>;
  StreamPtr stream_;
  CompressOptions options_;
  int fps_ = 25;
  std::string refusal_;
};

// Whether FFmpeg's own messages (an encoder's warnings) go to standard error; by default they do
// not.
void ShowCodecLog(bool shown);

// The AVIERR_* code's text, or an empty text for any other code.
std::string AviErrorText(uint32_t code);

}  // namespace quarvel
