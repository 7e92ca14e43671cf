#include "video_module.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <tuple>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/opt.h>
}

namespace quarvel {
namespace {

constexpr const char* kStreamTitle = "Stelmar video";
// Encoders are opened once for frames of the default mask size: those that refuse it (the ones
// that take a few fixed picture sizes only) are not offered.
constexpr int kProbeWidth = 640, kProbeHeight = 480, kProbeFps = 25;
constexpr int kIoBufferSize = 1 << 16;
constexpr int kPaletteBytes = 1024;

// Owners of FFmpeg objects.
struct CodecContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FormatFree {
  void operator()(AVFormatContext* f) const { avformat_free_context(f); }
};
struct IoFree {
  void operator()(AVIOContext* io) const {
    av_freep(&io->buffer);
    avio_context_free(&io);
  }
};
struct AvFree {
  void operator()(void* p) const { av_free(p); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using FormatPtr = std::unique_ptr<AVFormatContext, FormatFree>;
using IoPtr = std::unique_ptr<AVIOContext, IoFree>;

// An option dictionary freed at the end of its scope.
struct Dictionary {
  AVDictionary* d = nullptr;
  Dictionary() = default;
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;
  ~Dictionary() { av_dict_free(&d); }
};

// The file being written: a descriptor closed at the end of its scope, and the errno of the
// last call on it that failed, so that a failure can say why.
struct OutputFile {
  int fd = -1;
  int error = 0;
  explicit OutputFile(int descriptor) : fd(descriptor) {}
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() {
    if (fd >= 0) ::close(fd);
  }
  // Keeps `e` as the file's failure; returns it as FFmpeg's error code.
  int Failed(int e) {
    error = e;
    return AVERROR(e);
  }
  bool Close() {
    if (::close(std::exchange(fd, -1)) == 0) return true;
    error = errno;
    return false;
  }
};

const AVOutputFormat* AviFormat() {
  static const AVOutputFormat* const avi = av_guess_format("avi", nullptr, nullptr);
  return avi;
}

// One encoder we offer: the FFmpeg encoder and the pixel format we give it.
struct Encoder {
  const AVCodec* codec = nullptr;
  AVPixelFormat input = AV_PIX_FMT_NONE;
};

struct Catalogue {
  std::vector<CodecInfo> infos;
  std::vector<Encoder> encoders;  // encoders[i] makes infos[i]
};

// Whether every frame the encoder makes is a key frame. PNG's and VC-2's codecs allow frames
// that depend on others, but these encoders never make them.
bool IsIntraOnly(const AVCodec* c) {
  const AVCodecDescriptor* d = avcodec_descriptor_get(c->id);
  return (d && (d->props & AV_CODEC_PROP_INTRA_ONLY)) || std::strcmp(c->name, "png") == 0 ||
         std::strcmp(c->name, "vc2") == 0;
}

bool Supports(const AVCodec* c, AVPixelFormat format) {
  for (const AVPixelFormat* p = c->pix_fmts; p && *p != AV_PIX_FMT_NONE; ++p)
    if (*p == format) return true;
  return false;
}

bool HasPrivateOption(const AVCodec* c, const char* name) {
  if (!c->priv_class) return false;
  const AVClass* cls = c->priv_class;
  return av_opt_find(&cls, name, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

// Encoders that take a constant rate factor, and those of FFmpeg's MPEG video family, which
// take a fixed quantiser: both honour a quality and a data rate.
bool IsRateControlled(const AVCodec* c) {
  return HasPrivateOption(c, "crf") || HasPrivateOption(c, "mpv_flags");
}

// The default encoder of its codec, made in software and not experimental.
bool IsCandidate(const AVCodec* c) {
  constexpr int kRefused = AV_CODEC_CAP_EXPERIMENTAL | AV_CODEC_CAP_HARDWARE | AV_CODEC_CAP_HYBRID;
  return av_codec_is_encoder(c) && c->type == AVMEDIA_TYPE_VIDEO &&
         avcodec_find_encoder(c->id) == c && !(c->capabilities & kRefused);
}

// An encoder context for frames of that geometry, not yet opened; null without memory.
CodecContextPtr NewEncoder(const Encoder& e, const FrameGeometry& g) {
  CodecContextPtr c(avcodec_alloc_context3(e.codec));
  if (!c) return c;
  c->width = g.width;
  c->height = g.height;
  c->pix_fmt = e.input;
  c->time_base = AVRational{1, g.fps};
  c->framerate = AVRational{g.fps, 1};
  c->thread_count = 0;  // the encoder's own choice of threads
  c->color_range = e.input == AV_PIX_FMT_YUV420P ? AVCOL_RANGE_MPEG : AVCOL_RANGE_JPEG;
  if (AviFormat()->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  return c;
}

bool Opens(const Encoder& e) {
  const CodecContextPtr c =
      NewEncoder(e, {kProbeWidth, kProbeHeight, MaskImage::Stride(kProbeWidth), kProbeFps});
  if (!c) return false;
  c->log_level_offset = AV_LOG_TRACE;  // a refusal is expected here: it stays out of the log
  return avcodec_open2(c.get(), e.codec, nullptr) >= 0;
}

const std::array<uint8_t, 256>& LimitedRange() {
  static const std::array<uint8_t, 256> table = [] {
    std::array<uint8_t, 256> t{};
    for (int g = 0; g < 256; ++g)
      t[size_t(g)] = static_cast<uint8_t>(16 + (g * 219 + 127) / 255);
    return t;
  }();
  return table;
}

// The mask's pixel block (bottom row first) as the encoder's frame (top row first).
void FillFrame(AVFrame& f, std::span<const uint8_t> pixels, const FrameGeometry& g) {
  const bool limited = f.format == AV_PIX_FMT_YUV420P;
  for (int r = 0; r < g.height; ++r) {
    const uint8_t* src = pixels.data() + size_t(g.height - 1 - r) * size_t(g.stride);
    uint8_t* dst = f.data[0] + ptrdiff_t{r} * f.linesize[0];
    if (limited)
      std::transform(src, src + g.width, dst, [](uint8_t v) { return LimitedRange()[v]; });
    else
      std::memcpy(dst, src, size_t(g.width));
  }
  if (f.format == AV_PIX_FMT_PAL8) {
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t argb = 0xff000000u | i << 16 | i << 8 | i;
      std::memcpy(f.data[1] + 4 * i, &argb, 4);
    }
  } else if (f.format != AV_PIX_FMT_GRAY8) {
    for (int plane = 1; plane <= 2; ++plane)
      std::memset(f.data[plane], 128, size_t(f.linesize[plane]) * size_t((g.height + 1) / 2));
  }
}

// The grey ramp of the round trip: every level once, 16 x 16 pixels, a size every encoder takes.
constexpr int kRampSide = 16;
constexpr FrameGeometry kRamp{kRampSide, kRampSide, kRampSide, kProbeFps};

// The ramp's level at row r (top row first) and column x of a frame: the mask's rows are stored
// bottom row first.
uint8_t RampLevel(int r, int x) {
  return static_cast<uint8_t>((kRampSide - 1 - r) * kRampSide + x);
}

// Whether a decoded frame holds the ramp's grey levels, as GRAY8 or through a PAL8 palette.
bool HoldsRamp(const AVFrame& f) {
  const bool pal = f.format == AV_PIX_FMT_PAL8;
  if ((!pal && f.format != AV_PIX_FMT_GRAY8) || f.width != kRampSide || f.height != kRampSide)
    return false;
  for (int r = 0; r < kRampSide; ++r)
    for (int x = 0; x < kRampSide; ++x) {
      const uint8_t v = f.data[0][ptrdiff_t{r} * f.linesize[0] + x];
      uint32_t argb = uint32_t{v} * 0x010101u;
      if (pal) std::memcpy(&argb, f.data[1] + 4 * v, 4);
      if ((argb & 0xffffff) != uint32_t{RampLevel(r, x)} * 0x010101u) return false;
    }
  return true;
}

// The packet the encoder makes of the ramp alone, with the encoder in `c`; null when it makes
// none.
PacketPtr EncodeRamp(const Encoder& e, CodecContextPtr& c) {
  c = NewEncoder(e, kRamp);
  FramePtr f(av_frame_alloc());
  PacketPtr p(av_packet_alloc());
  if (!c || !f || !p) return nullptr;
  c->log_level_offset = AV_LOG_TRACE;
  f->format = e.input;
  f->width = f->height = kRampSide;
  if (avcodec_open2(c.get(), e.codec, nullptr) < 0 || av_frame_get_buffer(f.get(), 0) < 0)
    return nullptr;
  std::array<uint8_t, kRampSide * kRampSide> ramp{};
  for (size_t i = 0; i < ramp.size(); ++i)
    ramp[i] = static_cast<uint8_t>(i);
  FillFrame(*f, ramp, kRamp);
  f->pts = 0;
  if (avcodec_send_frame(c.get(), f.get()) < 0 || avcodec_send_frame(c.get(), nullptr) < 0 ||
      avcodec_receive_packet(c.get(), p.get()) < 0)
    return nullptr;
  return p;
}

// Whether the encoder, given frames in its input format, gives them back exactly through its
// codec's decoder: what a codec's description claims is not enough (JPEG-LS is described as
// lossy and lossless at once; it is exact with grey frames). One frame of 256 pixels per
// encoder, when the list of compressors is first built.
bool GivesFramesBack(const Encoder& e) {
  CodecContextPtr encoder;
  const PacketPtr packet = EncodeRamp(e, encoder);
  const AVCodec* codec = avcodec_find_decoder(e.codec->id);
  if (!packet || !codec) return false;
  CodecContextPtr d(avcodec_alloc_context3(codec));
  FramePtr f(av_frame_alloc());
  if (!d || !f) return false;
  d->log_level_offset = AV_LOG_TRACE;
  d->width = d->height = kRampSide;
  d->codec_tag = encoder->codec_tag;  // some decoders (Ut Video) tell the layout by it
  if (encoder->extradata_size > 0) {
    d->extradata = static_cast<uint8_t*>(
        av_mallocz(size_t(encoder->extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!d->extradata) return false;
    std::memcpy(d->extradata, encoder->extradata, size_t(encoder->extradata_size));
    d->extradata_size = encoder->extradata_size;
  }
  return avcodec_open2(d.get(), codec, nullptr) >= 0 &&
         avcodec_send_packet(d.get(), packet.get()) >= 0 &&
         avcodec_send_packet(d.get(), nullptr) >= 0 &&
         avcodec_receive_frame(d.get(), f.get()) >= 0 && HoldsRamp(*f);
}

// The encoder for our frames, with the format it gets them in, and whether it is lossless. An
// encoder that gives the grey levels back exactly, taken as they are (grey or palettised), is
// lossless. A lossy one gets preferably YUV 4:2:0 with neutral chroma, which every player of
// its codec decodes (limited range first, full range for those that want it, such as MJPEG).
// An encoder that opens with none of these is not offered: its input is AV_PIX_FMT_NONE.
std::pair<Encoder, bool> ChooseInput(const AVCodec* c) {
  static constexpr AVPixelFormat kLossless[] = {AV_PIX_FMT_GRAY8, AV_PIX_FMT_PAL8};
  static constexpr AVPixelFormat kLossy[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVJ420P,
                                             AV_PIX_FMT_GRAY8, AV_PIX_FMT_PAL8};
  for (const AVPixelFormat format : kLossless)
    if (Supports(c, format) && Opens({c, format}) && GivesFramesBack({c, format}))
      return {{c, format}, true};
  for (const AVPixelFormat format : kLossy)
    if (Supports(c, format) && Opens({c, format})) return {{c, format}, false};
  return {{c, AV_PIX_FMT_NONE}, false};
}

CodecInfo Describe(const AVCodec* c, uint32_t fourcc, bool lossless) {
  CodecInfo info;
  info.fourcc = fourcc;
  info.shortName = c->name;
  info.description = c->long_name ? c->long_name : c->name;
  info.lossless = lossless;
  info.keyFrames = !IsIntraOnly(c);
  info.quality = info.dataRate = !lossless && IsRateControlled(c);
  return info;
}

Catalogue BuildCatalogue() {
  if (!AviFormat()) return {};
  std::vector<std::pair<CodecInfo, Encoder>> found;
  void* it = nullptr;
  while (const AVCodec* c = av_codec_iterate(&it)) {
    if (!IsCandidate(c)) continue;
    const uint32_t fourcc = av_codec_get_tag(AviFormat()->codec_tag, c->id);
    const bool taken = std::any_of(found.begin(), found.end(),
                                   [&](const auto& f) { return f.first.fourcc == fourcc; });
    if (fourcc == 0 || taken) continue;
    const auto [e, lossless] = ChooseInput(c);
    if (e.input != AV_PIX_FMT_NONE) found.emplace_back(Describe(c, fourcc, lossless), e);
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return std::tie(b.first.lossless, a.first.shortName) <
           std::tie(a.first.lossless, b.first.shortName);
  });
  Catalogue cat;
  for (auto& [info, e] : found) {
    cat.infos.push_back(std::move(info));
    cat.encoders.push_back(e);
  }
  return cat;
}

const Catalogue& TheCatalogue() {
  static const Catalogue catalogue = BuildCatalogue();
  return catalogue;
}

const CodecInfo* FindInfo(uint32_t fourcc) {
  const std::vector<CodecInfo>& infos = TheCatalogue().infos;
  const auto it = std::find_if(infos.begin(), infos.end(), [&](const CodecInfo& c) {
    return fourcc != 0 && c.fourcc == fourcc;
  });
  return it == infos.end() ? nullptr : &*it;
}

const Encoder* FindEncoder(uint32_t fourcc) {
  const CodecInfo* info = FindInfo(fourcc);
  return info ? &TheCatalogue().encoders[size_t(info - TheCatalogue().infos.data())] : nullptr;
}

// dwQuality (1 to 10000, higher is better) on the encoder's own scale: a rate factor (0 to 51
// for H.264, 0 to 63 for the others), or a quantiser from 31 down to 1.
void SetQuality(AVCodecContext* c, int quality) {
  const double worse = (10000.0 - quality) / 10000.0;
  if (const AVOption* crf = av_opt_find(c->priv_data, "crf", nullptr, 0, 0)) {
    const double top = c->codec_id == AV_CODEC_ID_H264 ? 51.0 : std::min(crf->max, 63.0);
    av_opt_set_double(c->priv_data, "crf", top * worse, 0);
  } else {
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * (1 + static_cast<int>(30.0 * worse + 0.5));
  }
}

// Why the encoder cannot take frames of that size, or an empty text when it can. Half-size
// chroma needs an even width and height: with other sizes, some encoders refuse the frames, and
// some make streams their own decoders refuse. So does SpeedHQ with a width that is not a
// multiple of 16.
std::string SizeRefusal(const Encoder& e, const FrameGeometry& g) {
  const bool subsampled = e.input == AV_PIX_FMT_YUV420P || e.input == AV_PIX_FMT_YUVJ420P;
  if (e.codec->id == AV_CODEC_ID_SPEEDHQ && g.width % 16 != 0)
    return "it needs a width that is a multiple of 16";
  if (subsampled && (g.width % 2 != 0 || g.height % 2 != 0))
    return "it needs an even width and height";
  return "";
}

// "333x241".
std::string SizeText(const FrameGeometry& g) {
  return std::to_string(g.width) + "x" + std::to_string(g.height);
}

// FFmpeg's text of an error code.
std::string FfmpegError(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  return text;
}

bool InRange(int32_t value, int32_t top) {
  return value >= 1 && value <= top;
}

// The options the compression dialog sets, where the encoder takes them: the key-frame interval,
// the data rate and the quality, each only within the dialog's range (the settings file they come
// from may hold anything). A data rate and a fixed quality contradict each other: the data rate
// wins. Nothing else reaches the encoder: the options' two blocks are kept and stored, never
// handed to it.
void ApplyOptions(AVCodecContext* c, const CodecInfo& info, const CompressOptions& o) {
  if (info.keyFrames && InRange(o.dwKeyFrameEvery, kMaxKeyFrameEvery)) {
    c->gop_size = o.dwKeyFrameEvery;
    c->keyint_min = o.dwKeyFrameEvery;  // ZMBV takes its interval from here
  }
  if (info.dataRate && InRange(o.dwBytesPerSecond, kMaxBytesPerSecond))
    c->bit_rate = int64_t{o.dwBytesPerSecond} * 8;
  else if (info.quality && InRange(o.dwQuality, kMaxQuality))
    SetQuality(c, o.dwQuality);
}

// The options' encoder, opened for frames of that geometry; null when this machine has no such
// encoder or it refuses the frames, which are then written uncompressed, with `refusal` saying
// why when there was an encoder to refuse them.
CodecContextPtr OpenEncoder(const CompressOptions& o, const FrameGeometry& g,
                            std::string& refusal) {
  const Encoder* e = FindEncoder(o.fccHandler);
  if (!e) return nullptr;
  refusal = SizeRefusal(*e, g);
  if (!refusal.empty()) return nullptr;
  CodecContextPtr c = NewEncoder(*e, g);
  if (!c) return nullptr;
  ApplyOptions(c.get(), *FindInfo(o.fccHandler), o);
  // Informational messages stay below the default log level; warnings and errors show.
  c->log_level_offset = AV_LOG_VERBOSE - AV_LOG_INFO;
  if (const int opened = avcodec_open2(c.get(), e->codec, nullptr); opened < 0) {
    refusal = "it cannot encode " + SizeText(g) + " frames (" + FfmpegError(opened) + ")";
    return nullptr;
  }
  return c;
}

// The file's writes and seeks on our own descriptor: short writes are continued, a failure
// reaches the muxer as its errno and stays noted on the file.
int WriteToFile(void* opaque, uint8_t* buf, int size) {
  auto& file = *static_cast<OutputFile*>(opaque);
  for (int done = 0; done < size;) {
    const ssize_t n = ::write(file.fd, buf + done, size_t(size - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return file.Failed(n < 0 ? errno : EIO);
    done += static_cast<int>(n);
  }
  return size;
}

int64_t SeekInFile(void* opaque, int64_t offset, int whence) {
  auto& file = *static_cast<OutputFile*>(opaque);
  if (whence & AVSEEK_SIZE) {
    struct stat st {};
    return ::fstat(file.fd, &st) == 0 ? int64_t{st.st_size} : file.Failed(errno);
  }
  const off_t at = ::lseek(file.fd, offset, whence & ~AVSEEK_FORCE);
  return at < 0 ? file.Failed(errno) : int64_t{at};
}

uint32_t CodecError(int error) {
  return error == AVERROR(ENOMEM) ? AVIERR_MEMORY : AVIERR_COMPRESSOR;
}

}  // namespace

// The held stream: the file, its muxer and, when compressing, the encoder. The stream's format
// is settled, and the file's header written, with the first frame (or at the end for a stream
// without frames), so that options chosen while the stream is held apply to it, and so that an
// encoder that refuses the first frame leaves the stream uncompressed.
struct VideoStream {
  VideoStream(const FrameGeometry& g, const std::array<uint8_t, kBitmapInfoSize>& bitmapInfo,
              int fd)
      : geometry(g), info(bitmapInfo), file(fd) {}

  bool Open();
  uint32_t Write(std::span<const uint8_t> pixels, int sample, const CompressOptions& o);
  bool Finish(const CompressOptions& o);
  int FileError() const { return file.error; }
  const std::string& Refusal() const { return refusal; }

 private:
  void Start(const CompressOptions& o, std::span<const uint8_t> pixels, int sample);
  uint32_t AddVideoStream(AVStream* st, const CompressOptions& o, std::span<const uint8_t> pixels,
                          int sample);
  uint32_t StartEncoder(const CompressOptions& o, std::span<const uint8_t> pixels, int sample);
  uint32_t SetRawParameters(AVCodecParameters* p);
  uint32_t WriteHeader();
  uint32_t WriteRaw(std::span<const uint8_t> pixels, int sample);
  int TryFirstFrame(std::span<const uint8_t> pixels, int sample);
  int SendFrame(std::span<const uint8_t> pixels, int sample);
  uint32_t Drain();
  uint32_t Mux();
  uint32_t MuxError(int error) const;
  uint32_t Settle();
  AVStream* Track() const { return format->streams[0]; }

  FrameGeometry geometry;
  std::array<uint8_t, kBitmapInfoSize> info;
  OutputFile file;
  IoPtr io;
  FormatPtr format;
  CodecContextPtr encoder;  // null: uncompressed
  FramePtr frame;
  PacketPtr packet;
  bool started = false;
  bool heldPacket = false;  // `packet` holds the first frame's, written after the header
  uint32_t startError = 0;
  std::string refusal;  // why the options' encoder did not take the frames
  int64_t lastSample = -1;
  int64_t goodEnd = 0;  // the file's bytes up to the end of the last frame written whole
};

bool VideoStream::Open() {
  packet.reset(av_packet_alloc());
  AVFormatContext* f = nullptr;
  if (!packet || avformat_alloc_output_context2(&f, AviFormat(), nullptr, nullptr) < 0)
    return false;
  format.reset(f);
  std::unique_ptr<uint8_t, AvFree> buffer(static_cast<uint8_t*>(av_malloc(kIoBufferSize)));
  if (!buffer) return false;
  io.reset(
      avio_alloc_context(buffer.get(), kIoBufferSize, 1, &file, nullptr, WriteToFile, SeekInFile));
  if (!io) return false;
  buffer.release();
  format->pb = io.get();
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  return true;
}

// `pixels`, when given, is the first frame: it goes to the encoder before the header is written.
void VideoStream::Start(const CompressOptions& o, std::span<const uint8_t> pixels, int sample) {
  started = true;
  AVStream* st = avformat_new_stream(format.get(), nullptr);
  startError = st ? AddVideoStream(st, o, pixels, sample) : AVIERR_MEMORY;
  if (startError == 0) startError = WriteHeader();
}

uint32_t VideoStream::AddVideoStream(AVStream* st, const CompressOptions& o,
                                     std::span<const uint8_t> pixels, int sample) {
  st->time_base = AVRational{1, geometry.fps};
  st->avg_frame_rate = AVRational{geometry.fps, 1};
  if (av_dict_set(&st->metadata, "title", kStreamTitle, 0) < 0) return AVIERR_MEMORY;
  if (const uint32_t result = StartEncoder(o, pixels, sample); result != 0) return result;
  if (!encoder) return SetRawParameters(st->codecpar);
  return avcodec_parameters_from_context(st->codecpar, encoder.get()) < 0 ? AVIERR_MEMORY : 0;
}

// Opens the options' encoder and gives it the first frame; without such an encoder, or when it
// refuses the frame, the stream stays uncompressed.
uint32_t VideoStream::StartEncoder(const CompressOptions& o, std::span<const uint8_t> pixels,
                                   int sample) {
  encoder = OpenEncoder(o, geometry, refusal);
  if (!encoder) return 0;
  frame.reset(av_frame_alloc());
  if (!frame) return AVIERR_MEMORY;
  frame->format = encoder->pix_fmt;
  frame->width = geometry.width;
  frame->height = geometry.height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return AVIERR_MEMORY;
  const int tried = pixels.empty() ? 0 : TryFirstFrame(pixels, sample);
  if (tried == AVERROR(ENOMEM)) return AVIERR_MEMORY;
  if (tried < 0) {
    refusal = "it refused the first frame (" + FfmpegError(tried) + ")";
    encoder.reset();
    frame.reset();
  }
  return 0;
}

// Sends the first frame and takes the packet it makes, if it makes one at once, before the
// header is written: an encoder that refuses the frame does so here.
int VideoStream::TryFirstFrame(std::span<const uint8_t> pixels, int sample) {
  const int sent = SendFrame(pixels, sample);
  if (sent < 0) return sent;
  const int got = avcodec_receive_packet(encoder.get(), packet.get());
  heldPacket = got >= 0;
  return got == AVERROR(EAGAIN) ? 0 : got;
}

// Uncompressed: 8-bit palettised rows as stored, with our grey palette after the bitmap header
// in the stream format, so that players show the exact grey levels.
uint32_t VideoStream::SetRawParameters(AVCodecParameters* p) {
  p->codec_type = AVMEDIA_TYPE_VIDEO;
  p->codec_id = AV_CODEC_ID_RAWVIDEO;
  p->codec_tag = 0;
  p->format = AV_PIX_FMT_PAL8;
  p->width = geometry.width;
  p->height = geometry.height;
  p->bits_per_coded_sample = 8;
  p->extradata = static_cast<uint8_t*>(av_mallocz(kPaletteBytes + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!p->extradata) return AVIERR_MEMORY;
  std::memcpy(p->extradata, info.data() + (kBitmapInfoSize - kPaletteBytes), kPaletteBytes);
  p->extradata_size = kPaletteBytes;
  return 0;
}

uint32_t VideoStream::WriteHeader() {
  Dictionary options;
  // The bitmap header says the rows are stored bottom-up, as the mask holds them.
  if (av_dict_set(&options.d, "flipped_raw_rgb", "1", 0) < 0) return AVIERR_MEMORY;
  const int result = avformat_write_header(format.get(), &options.d);
  if (result >= 0) return Settle();
  if (io->error < 0) return AVIERR_FILEWRITE;
  return result == AVERROR(ENOMEM) ? AVIERR_MEMORY : AVIERR_BADFORMAT;
}

uint32_t VideoStream::Write(std::span<const uint8_t> pixels, int sample, const CompressOptions& o) {
  if (pixels.size() != size_t(geometry.stride) * size_t(geometry.height)) return AVIERR_BADSIZE;
  if (sample < 0 || sample <= lastSample) return AVIERR_BADPARAM;
  const bool first = !started;
  if (first) Start(o, pixels, sample);
  if (startError != 0) return startError;
  lastSample = sample;
  uint32_t result = 0;
  if (!encoder)
    result = WriteRaw(pixels, sample);
  else if (const int sent = first ? 0 : SendFrame(pixels, sample); sent < 0)
    result = CodecError(sent);
  else
    result = Drain();
  return result != 0 ? result : Settle();
}

uint32_t VideoStream::WriteRaw(std::span<const uint8_t> pixels, int sample) {
  // The muxer only reads a packet that owns no buffer; the mask's block is written in place.
  packet->data = const_cast<uint8_t*>(pixels.data());
  packet->size = static_cast<int>(pixels.size());
  packet->pts = packet->dts = sample;
  packet->duration = 1;
  packet->flags = AV_PKT_FLAG_KEY;
  av_packet_rescale_ts(packet.get(), AVRational{1, geometry.fps}, Track()->time_base);
  return Mux();
}

// Gives the mask's pixel block to the encoder as the frame of that sample.
int VideoStream::SendFrame(std::span<const uint8_t> pixels, int sample) {
  if (const int writable = av_frame_make_writable(frame.get()); writable < 0) return writable;
  FillFrame(*frame, pixels, geometry);
  frame->pts = sample;
  frame->quality = encoder->global_quality;  // a fixed quantiser is taken frame by frame
  return avcodec_send_frame(encoder.get(), frame.get());
}

// Writes every packet the encoder has ready, the one held from the first frame first.
uint32_t VideoStream::Drain() {
  for (;;) {
    if (!std::exchange(heldPacket, false)) {
      const int got = avcodec_receive_packet(encoder.get(), packet.get());
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return 0;
      if (got < 0) return CodecError(got);
    }
    av_packet_rescale_ts(packet.get(), encoder->time_base, Track()->time_base);
    if (const uint32_t result = Mux(); result != 0) return result;
  }
}

uint32_t VideoStream::Mux() {
  packet->stream_index = 0;
  const int result = av_write_frame(format.get(), packet.get());
  av_packet_unref(packet.get());
  return result < 0 ? MuxError(result) : 0;
}

uint32_t VideoStream::MuxError(int error) const {
  if (io->error < 0) return AVIERR_FILEWRITE;
  return error == AVERROR(ENOMEM) ? AVIERR_MEMORY : AVIERR_ERROR;
}

// Pushes what the muxer wrote to the file, so that a failed write shows with the frame that
// caused it, and notes where the file ends whole. The frame's bytes are then handed to the disk
// at once (without waiting): the kernel writes them while the next frame renders, instead of
// holding a whole run of dirty pages for the fsync at the end or for its own writeback to stall
// a later write.
uint32_t VideoStream::Settle() {
  avio_flush(io.get());
  if (io->error < 0) return AVIERR_FILEWRITE;
  const int64_t end = avio_tell(io.get());
  if (end > goodEnd) ::sync_file_range(file.fd, goodEnd, end - goodEnd, SYNC_FILE_RANGE_WRITE);
  goodEnd = end;
  return 0;
}

// Writes the trailer (index and header). After a failed write the file is cut after the last
// frame written whole, so that it holds the frames before the failure.
bool VideoStream::Finish(const CompressOptions& o) {
  if (!started) Start(o, {}, 0);
  bool ok = startError == 0;
  if (ok && encoder) ok = avcodec_send_frame(encoder.get(), nullptr) >= 0 && Drain() == 0;
  if (startError == 0) ok = av_write_trailer(format.get()) >= 0 && ok;
  avio_flush(io.get());
  if (io->error < 0) {
    ok = false;
    // A cut that fails leaves the partial frame after the whole ones, which readers skip.
    [[maybe_unused]] const int cut = ::ftruncate(file.fd, goodEnd);
  }
  if (::fsync(file.fd) != 0 && errno != EINVAL) {
    file.error = errno;
    ok = false;
  }
  return file.Close() && ok;
}

const std::vector<CodecInfo>& ModuleCodecs() {
  return TheCatalogue().infos;
}

VideoStream* ModuleOpen(const FrameGeometry& g, const std::array<uint8_t, kBitmapInfoSize>& info,
                        int fd) {
  try {
    auto s = std::make_unique<VideoStream>(g, info, fd);
    return s->Open() ? s.release() : nullptr;
  } catch (const std::bad_alloc&) {
    ::close(fd);
    return nullptr;
  }
}

uint32_t ModuleWrite(VideoStream* s, std::span<const uint8_t> pixels, int sample,
                     const CompressOptions& o) {
  try {
    return s->Write(pixels, sample, o);
  } catch (const std::bad_alloc&) {
    return AVIERR_MEMORY;
  }
}

bool ModuleFinish(VideoStream* s, const CompressOptions& o) {
  try {
    return s->Finish(o);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

int ModuleFileError(const VideoStream* s) {
  return s->FileError();
}

const std::string& ModuleRefusal(const VideoStream* s) {
  return s->Refusal();
}

void ModuleShowLog(bool shown) {
  av_log_set_level(shown ? AV_LOG_INFO : AV_LOG_QUIET);
}

void ModuleFree(VideoStream* s) {
  delete s;
}

}  // namespace quarvel

extern "C" [[gnu::visibility("default")]] const quarvel::VideoModule* QuarvelVideoModule() {
  // FFmpeg's own messages stay off the terminal until a program asks for them.
  static const quarvel::VideoModule module = [] {
    quarvel::ModuleShowLog(false);
    return quarvel::VideoModule{quarvel::ModuleCodecs,    quarvel::ModuleOpen,
                                quarvel::ModuleWrite,     quarvel::ModuleFinish,
                                quarvel::ModuleFileError, quarvel::ModuleRefusal,
                                quarvel::ModuleShowLog,   quarvel::ModuleFree};
  }();
  return &module;
}
