#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "fixtures.h"
#include "session/video_writer.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t FourCC(const char* s) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

// A mask whose every frame differs: grey levels run along both axes from a start of `seed`.
MaskImage Gradient(int w, int h, int seed) {
  MaskImage m;
  m.SetSize(w, h);
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x)
      m.Row(r)[x] = uint8_t(seed * 41 + x * 3 + r * 7);
  return m;
}

// A mask of pseudo-random grey levels, which no compressor makes much smaller.
MaskImage Noise(int w, int h, uint32_t seed) {
  MaskImage m;
  m.SetSize(w, h);
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      m.Row(r)[x] = uint8_t(seed >> 24);
    }
  return m;
}

std::vector<MaskImage> Frames(int w, int h, int count) {
  std::vector<MaskImage> frames;
  for (int i = 0; i < count; ++i)
    frames.push_back(Gradient(w, h, i));
  return frames;
}

// The first `count` frames' grey levels as a decoder gives them: rows top-down, without row
// padding.
std::vector<uint8_t> TopDown(const std::vector<MaskImage>& frames, size_t count = SIZE_MAX) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < std::min(count, frames.size()); ++i)
    for (int r = 0; r < frames[i].Height(); ++r)
      out.insert(out.end(), frames[i].Row(r), frames[i].Row(r) + frames[i].Width());
  return out;
}

CompressOptions Compressor(uint32_t fourcc) {
  CompressOptions o;
  o.fccHandler = fourcc;
  return o;
}

// Writes the frames as samples 0, 1, ... and finishes the file; true when every step succeeded.
bool WriteAvi(const std::string& path, const std::vector<MaskImage>& frames,
              const CompressOptions& options, int fps = 25) {
  TVideoWriter w;
  w.SetCompressOptions(options);
  if (!w.SetFrameRate(fps) || !w.OpenStream(frames.at(0), path).empty()) return false;
  for (size_t i = 0; i < frames.size(); ++i)
    if (!w.WriteFrame(frames[i].Pixels(), int(i)).empty()) return false;
  return w.CloseStream().empty();
}

std::string Output(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;)
    out.append(buffer, n);
  ::pclose(p);
  return out;
}

// What ffprobe reports of the file's first video stream, counting its frames by decoding them:
// codec_name, width, height, r_frame_rate, nb_read_frames, TAG:title...
std::map<std::string, std::string> Probe(const std::string& path) {
  std::map<std::string, std::string> values;
  const std::string text = Output(
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=codec_name,width,height,r_frame_rate,pix_fmt,nb_read_frames:stream_tags=title "
      "-of default=noprint_wrappers=1 '" +
      path + "'");
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = text.substr(start, end - start);
    const size_t eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return values;
}

int StreamCount(const std::string& path) {
  const std::string text =
      Output("ffprobe -v error -show_entries stream=index -of csv=p=0 '" + path + "'");
  return int(std::count(text.begin(), text.end(), '\n'));
}

// Every frame as ffmpeg decodes it, in RGB, rows top-down.
std::vector<uint8_t> DecodeRgb(const test::ScratchDir& dir, const std::string& path) {
  const std::string raw = dir.Path("decoded.raw");
  fs::remove(raw);
  if (std::system(("ffmpeg -v error -i '" + path +
                   "' -fps_mode passthrough -f rawvideo -pix_fmt rgb24 '" + raw + "'")
                      .c_str()) != 0)
    return {};
  return test::ReadFile(raw);
}

// The frames' grey levels. They are decoded as RGB: ffmpeg turns palettised frames into RGB
// through the palette, exactly, but into grey through a luma conversion that loses levels. A
// pixel that is not grey gives an empty result.
std::vector<uint8_t> DecodeGrey(const test::ScratchDir& dir, const std::string& path) {
  const std::vector<uint8_t> rgb = DecodeRgb(dir, path);
  std::vector<uint8_t> grey;
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
    if (rgb[i] != rgb[i + 1] || rgb[i] != rgb[i + 2]) return {};
    grey.push_back(rgb[i]);
  }
  return grey;
}

// The key-frame flag of every packet: "K" or "_" each.
std::string KeyFrames(const std::string& path) {
  const std::string text = Output(
      "ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 '" + path + "'");
  std::string flags;
  bool lineStart = true;
  for (const char ch : text) {
    if (lineStart && ch != '\n') flags += ch;
    lineStart = ch == '\n';
  }
  return flags;
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(VideoWriter, UncompressedFileHoldsThePaletteAndTheMaskBytes) {
  test::ScratchDir dir;
  const std::string avi = dir.Path("u.avi");
  // 101 pixels wide: every stored row carries 3 bytes of padding.
  const std::vector<MaskImage> frames = Frames(101, 60, 4);
  ASSERT_TRUE(WriteAvi(avi, frames, CompressOptions{}, 12));

  auto p = Probe(avi);
  EXPECT_EQ(StreamCount(avi), 1);
  EXPECT_EQ(p["codec_name"], "rawvideo");
  EXPECT_EQ(p["pix_fmt"], "pal8");
  EXPECT_EQ(p["width"], "101");
  EXPECT_EQ(p["height"], "60");
  EXPECT_EQ(p["r_frame_rate"], "12/1");
  EXPECT_EQ(p["nb_read_frames"], "4");
  EXPECT_EQ(p["TAG:title"], "Stelmar video");
  EXPECT_EQ(DecodeGrey(dir, avi), TopDown(frames));
  EXPECT_EQ(KeyFrames(avi), "KKKK");

  // The stream format: an 8-bit bottom-up bitmap header followed by the grey palette.
  const std::vector<uint8_t> b = test::ReadFile(avi);
  const auto strf = std::search(b.begin(), b.end(), std::begin("strf"), std::end("strf") - 1);
  ASSERT_NE(strf, b.end());
  const size_t at = size_t(strf - b.begin()) + 8;
  ASSERT_LE(at + 1064, b.size());
  EXPECT_EQ(U32At(b, at - 4), 1064u);
  EXPECT_EQ(U32At(b, at), 40u);
  EXPECT_EQ(U32At(b, at + 4), 101u);
  EXPECT_EQ(U32At(b, at + 8), 60u) << "a positive height: rows stored bottom-up";
  EXPECT_EQ(b[at + 14], 8);
  EXPECT_EQ(U32At(b, at + 16), 0u);
  for (uint32_t i = 0; i < 256; ++i)
    EXPECT_EQ(U32At(b, at + 40 + 4 * i), i * 0x010101) << i;
}

TEST(VideoWriter, CodecListOffersTheExpectedCompressorsLosslessFirst) {
  const std::vector<CodecInfo>& codecs = AvailableCodecs();
  // JPEG-LS is described as lossy and lossless: what counts is that it gives the frames back.
  for (const uint32_t fourcc : {FourCC("FFV1"), FourCC("MPNG"), FourCC("ZMBV"), FourCC("MJLS")}) {
    const CodecInfo* c = FindCodec(fourcc);
    ASSERT_NE(c, nullptr) << FourCCText(fourcc);
    EXPECT_TRUE(c->lossless) << c->shortName;
    EXPECT_FALSE(c->quality || c->dataRate) << c->shortName;
  }
  for (const uint32_t fourcc : {FourCC("MJPG"), FourCC("FMP4"), FourCC("H264")}) {
    const CodecInfo* c = FindCodec(fourcc);
    ASSERT_NE(c, nullptr) << FourCCText(fourcc);
    EXPECT_FALSE(c->lossless) << c->shortName;
    EXPECT_TRUE(c->quality && c->dataRate) << c->shortName;
  }
  EXPECT_EQ(FindCodec(FourCC("FFV1"))->shortName, "ffv1");
  EXPECT_EQ(FindCodec(FourCC("FFV1"))->description, "FFmpeg video codec #1");
  for (const char* name : {"FFV1", "ZMBV", "H264", "FMP4"})
    EXPECT_TRUE(FindCodec(FourCC(name))->keyFrames) << name;
  for (const char* name : {"MPNG", "MJPG"})
    EXPECT_FALSE(FindCodec(FourCC(name))->keyFrames) << name << ": every frame a key frame";

  EXPECT_TRUE(std::is_partitioned(codecs.begin(), codecs.end(),
                                  [](const CodecInfo& c) { return c.lossless; }));
  for (size_t i = 0; i < codecs.size(); ++i) {
    EXPECT_NE(codecs[i].fourcc, 0u);
    EXPECT_EQ(FindCodec(codecs[i].fourcc), &codecs[i]) << "one compressor per FourCC";
  }
  EXPECT_EQ(FindCodec(0), nullptr);
  EXPECT_EQ(FindCodec(FourCC("QQQQ")), nullptr);
  EXPECT_EQ(FourCCText(FourCC("FFV1")), "FFV1");
  EXPECT_EQ(FourCCText(FourCC("dpx ")), "dpx ");
}

TEST(VideoWriter, LosslessCompressorsGiveTheMaskBytesBack) {
  test::ScratchDir dir;
  std::vector<std::vector<MaskImage>> runs;
  runs.push_back(Frames(101, 60, 3));
  runs.push_back(Frames(640, 480, 2));
  for (const CodecInfo& c : AvailableCodecs()) {
    if (!c.lossless) continue;
    for (const auto& frames : runs) {
      const std::string avi = dir.Path(c.shortName + ".avi");
      ASSERT_TRUE(WriteAvi(avi, frames, Compressor(c.fourcc))) << c.shortName;
      const auto p = Probe(avi);
      EXPECT_NE(p.at("codec_name"), "rawvideo") << c.shortName << ": not compressed";
      EXPECT_EQ(p.at("nb_read_frames"), std::to_string(frames.size())) << c.shortName;
      EXPECT_EQ(p.at("TAG:title"), "Stelmar video") << c.shortName;
      EXPECT_TRUE(DecodeGrey(dir, avi) == TopDown(frames))
          << c.shortName << " " << frames[0].Width();
    }
  }
}

TEST(VideoWriter, LossyCompressorsGiveEveryFrameAtTheMaskSize) {
  test::ScratchDir dir;
  // A multiple of 16 each way: some codecs take no other size.
  const std::vector<MaskImage> frames = Frames(176, 144, 5);
  for (const CodecInfo& c : AvailableCodecs()) {
    if (c.lossless) continue;
    const std::string avi = dir.Path(c.shortName + ".avi");
    ASSERT_TRUE(WriteAvi(avi, frames, Compressor(c.fourcc))) << c.shortName;
    const auto p = Probe(avi);
    EXPECT_NE(p.at("codec_name"), "rawvideo") << c.shortName << ": not compressed";
    EXPECT_EQ(p.at("width"), "176") << c.shortName;
    EXPECT_EQ(p.at("height"), "144") << c.shortName;
    EXPECT_EQ(p.at("nb_read_frames"), "5") << c.shortName;
    EXPECT_EQ(DecodeRgb(dir, avi).size(), 3 * TopDown(frames).size()) << c.shortName;
  }
}

TEST(VideoWriter, KeyFrameIntervalQualityAndExtraOptionsReachTheEncoder) {
  test::ScratchDir dir;
  const std::vector<MaskImage> frames = Frames(160, 120, 6);
  const std::string avi = dir.Path("k.avi");
  for (const uint32_t fourcc : {FourCC("ZMBV"), FourCC("FFV1"), FourCC("FMP4"), FourCC("H264")}) {
    CompressOptions o = Compressor(fourcc);
    ASSERT_TRUE(WriteAvi(avi, frames, o));
    EXPECT_EQ(KeyFrames(avi), "K_____") << FourCCText(fourcc);
    o.dwKeyFrameEvery = 2;
    ASSERT_TRUE(WriteAvi(avi, frames, o));
    EXPECT_EQ(KeyFrames(avi), "K_K_K_") << FourCCText(fourcc);
  }

  // Higher quality, larger file.
  for (const uint32_t fourcc : {FourCC("MJPG"), FourCC("FMP4"), FourCC("H264")}) {
    std::vector<uintmax_t> sizes;
    for (const int quality : {500, 9500}) {
      CompressOptions o = Compressor(fourcc);
      o.dwQuality = quality;
      ASSERT_TRUE(WriteAvi(avi, frames, o));
      sizes.push_back(fs::file_size(avi));
    }
    EXPECT_LT(sizes[0], sizes[1]) << FourCCText(fourcc);
  }

  // A data rate in bytes per second: 100,000 of them are 800 kbit/s, which the encoder meets
  // within a factor of 2 over 2 s of frames.
  CompressOptions rated = Compressor(FourCC("FMP4"));
  rated.dwBytesPerSecond = 100000;
  ASSERT_TRUE(WriteAvi(avi, Frames(176, 144, 50), rated));
  const std::string bitRate =
      Output("ffprobe -v error -select_streams v:0 -show_entries stream=bit_rate -of csv=p=0 '" +
             avi + "'");
  EXPECT_GT(std::atof(bitRate.c_str()), 400000) << bitRate;
  EXPECT_LT(std::atof(bitRate.c_str()), 1600000) << bitRate;

  // The state block is kept with the options but never given to the encoder, not even an
  // option it takes: one could make it write a file anywhere.
  const std::string dump = dir.Path("dump.yuv");
  for (const auto& [fourcc, parms] : {std::pair{FourCC("FMP4"), std::string("g=3\r\n")},
                                      std::pair{FourCC("H264"), "x264-params=dump-yuv=" + dump}}) {
    CompressOptions o = Compressor(fourcc);
    o.parms.assign(parms.begin(), parms.end());
    ASSERT_TRUE(WriteAvi(avi, frames, o)) << parms;
    EXPECT_EQ(KeyFrames(avi), "K_____") << parms;
  }
  EXPECT_FALSE(fs::exists(dump));
}

TEST(VideoWriter, WithoutACompressorThatTakesTheFramesTheyAreWrittenUncompressed) {
  test::ScratchDir dir;
  const std::vector<MaskImage> odd = Frames(101, 61, 2);
  // A FourCC this machine has no compressor for; H.264 from 4:2:0 needs an even size.
  for (const uint32_t fourcc : {FourCC("QQQQ"), FourCC("H264")}) {
    const std::string avi = dir.Path(FourCCText(fourcc) + ".avi");
    ASSERT_TRUE(WriteAvi(avi, odd, Compressor(fourcc))) << FourCCText(fourcc);
    EXPECT_EQ(Probe(avi).at("codec_name"), "rawvideo");
    EXPECT_EQ(DecodeGrey(dir, avi), TopDown(odd));
  }
  TVideoWriter w;
  w.SetCompressOptions(Compressor(FourCC("QQQQ")));
  EXPECT_EQ(w.GetCodecName(), "UNCOMPRESSED");
  EXPECT_EQ(w.GetCompressOptions().fccHandler, FourCC("QQQQ"));
}

TEST(VideoWriter, CodecNameAndStreamType) {
  TVideoWriter w;
  EXPECT_EQ(w.GetCodecName(), "UNCOMPRESSED");
  CompressOptions o = Compressor(FourCC("FFV1"));
  o.fccType = FourCC("auds");
  w.SetCompressOptions(o);
  EXPECT_EQ(w.GetCodecName(), std::string("ffv1") + char(10) + char(13) + "FFmpeg video codec #1");
  EXPECT_EQ(w.GetCompressOptions().fccType, kStreamTypeVideo);
  EXPECT_FALSE(w.SetFrameRate(0));
  EXPECT_FALSE(w.SetFrameRate(-5));
}

TEST(AviErrorText, TheTableTextsAndNothingForOtherCodes) {
  EXPECT_EQ(AviErrorText(AVIERR_UNSUPPORTED), "Error unsupported");
  EXPECT_EQ(AviErrorText(AVIERR_INTERNAL), "Selected codec does not support input format");
  EXPECT_EQ(AviErrorText(AVIERR_BADSIZE), "bad size");
  EXPECT_EQ(AviErrorText(AVIERR_FILEWRITE), "Error writing file");
  EXPECT_EQ(AviErrorText(AVIERR_FILEOPEN), "Error opening file");
  EXPECT_EQ(AviErrorText(AVIERR_CANTCOMPRESS), "Can not compress");
  EXPECT_EQ(AviErrorText(AVIERR_USERABORT), "Aborted by user");
  EXPECT_EQ(AviErrorText(AVIERR_ERROR), "Unspecified error");
  for (const uint32_t code : {0u, 110u, MakeAviErr(0), MakeAviErr(100), MakeAviErr(118),
                              MakeAviErr(197), MakeAviErr(200), 0xffffffffu})
    EXPECT_EQ(AviErrorText(code), "") << std::hex << code;
}

TEST(VideoWriter, FramesNeedAHeldStreamOfTheirSizeInOrder) {
  test::ScratchDir dir;
  const MaskImage mask = Gradient(101, 60, 0);
  TVideoWriter w;
  EXPECT_EQ(w.WriteFrame(mask.Pixels(), 0).text, "Bad handle");
  EXPECT_EQ(w.CloseStream().text, "Bad handle");

  ASSERT_TRUE(w.OpenStream(mask, dir.Path("a.avi")).empty());
  EXPECT_EQ(w.WriteFrame(mask.Pixels().first(mask.Pixels().size() - 1), 0).text, "bad size");
  EXPECT_TRUE(w.WriteFrame(mask.Pixels(), 0).empty());
  EXPECT_EQ(w.WriteFrame(mask.Pixels(), 0).text, "Bad parameter");
  EXPECT_TRUE(w.CloseStream().empty());
  EXPECT_EQ(w.CloseStream().text, "Bad handle");

  EXPECT_FALSE(w.OpenStream(mask, dir.Path("missing/a.avi")).empty());
  EXPECT_EQ(w.WriteFrame(mask.Pixels(), 1).text, "Bad handle") << "after a failed open";
  MaskImage empty;
  EXPECT_FALSE(w.OpenStream(empty, dir.Path("empty.avi")).empty());
  EXPECT_FALSE(fs::exists(dir.Path("empty.avi")));
}

TEST(VideoWriter, OnlyARegularFileIsReplaced) {
  test::ScratchDir dir;
  const std::vector<MaskImage> frames = Frames(101, 60, 2);
  fs::create_directory(dir.Path("folder.avi"));
  ASSERT_EQ(::mkfifo(dir.Path("fifo.avi").c_str(), 0600), 0);
  // Opening the FIFO for writing would wait for a reader: the child's alarm would end it.
  const std::string refused = test::InChild([&] {
    TVideoWriter w;
    const bool a = w.OpenStream(frames[0], dir.Path("folder.avi")).empty();
    const bool b = w.OpenStream(frames[0], dir.Path("fifo.avi")).empty();
    return std::string(a ? "folder opened" : "") + (b ? "FIFO opened" : "") + "done";
  });
  EXPECT_EQ(refused, "done");
  EXPECT_TRUE(fs::is_directory(dir.Path("folder.avi")));
  EXPECT_TRUE(fs::is_fifo(dir.Path("fifo.avi")));

  // A regular file is replaced; a link to one stays a link to the new file.
  const std::string old = dir.Write("old.avi", {1, 2, 3});
  const std::string target = dir.Write("target.avi", {1, 2, 3});
  fs::create_symlink(target, dir.Path("link.avi"));
  for (const std::string& path : {old, dir.Path("link.avi")}) {
    ASSERT_TRUE(WriteAvi(path, frames, CompressOptions{})) << path;
    EXPECT_EQ(DecodeGrey(dir, path), TopDown(frames)) << path;
  }
  EXPECT_TRUE(fs::is_symlink(dir.Path("link.avi")));
  EXPECT_EQ(DecodeGrey(dir, target), TopDown(frames));
}

// Whatever is planted at the name stays, and the refusal says why; only a regular file, reached
// through a link or not, is replaced, and the link stays.
TEST(VideoWriter, AFileThatCannotBeMadeGivesTheReasonAndIsLeftAlone) {
  test::ScratchDir dir;
  const MaskImage mask = Gradient(101, 60, 0);
  fs::create_directory(dir.Path("folder"));
  ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0600), 0);
  fs::create_symlink("folder", dir.Path("to-folder.avi"));
  fs::create_symlink("fifo", dir.Path("to-fifo.avi"));
  fs::create_symlink("loop-b.avi", dir.Path("loop-a.avi"));
  fs::create_symlink("loop-a.avi", dir.Path("loop-b.avi"));
  fs::create_symlink("missing/x.avi", dir.Path("dangling.avi"));
  const std::pair<const char*, const char*> cases[] = {
      {"folder", "Is a directory"},
      {"to-folder.avi", "Is a directory"},
      {"to-fifo.avi", "File exists"},
      {"loop-a.avi", "Too many levels of symbolic links"},
      {"dangling.avi", "No such file or directory"},
  };
  TVideoWriter w;
  for (const auto& [name, reason] : cases) {
    const ErrorText error = w.OpenStream(mask, dir.Path(name));
    EXPECT_EQ(error.kind, ErrorKind::File) << name;
    EXPECT_EQ(error.reason, reason) << name;
  }
  EXPECT_TRUE(fs::is_fifo(dir.Path("fifo")));
  EXPECT_TRUE(fs::is_empty(dir.Path("folder")));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path("")), {}), 7) << "nothing new";
}

TEST(VideoWriter, OptionsChosenOnAHeldStreamApplyToIt) {
  struct Dialog : OptionsDialog {
    bool result = true;
    bool fail = false;
    size_t offered = 0;
    bool Choose(CompressOptions& o, const std::vector<CodecInfo>& codecs) override {
      offered = codecs.size();
      o.fccHandler = FourCC("FFV1");
      o.fccType = 0;
      if (fail) throw std::runtime_error("dialog failed");
      return result;
    }
  } dialog;
  test::ScratchDir dir;
  const std::vector<MaskImage> frames = Frames(101, 60, 2);
  TVideoWriter w;
  EXPECT_EQ(w.ChooseOptions(dialog).text, "Bad handle");
  EXPECT_EQ(dialog.offered, 0u) << "no dialog without a stream";

  ASSERT_TRUE(w.OpenStream(frames[0], dir.Path("c.avi")).empty());
  dialog.result = false;
  EXPECT_TRUE(w.ChooseOptions(dialog).empty());
  EXPECT_EQ(w.GetCompressOptions(), CompressOptions{}) << "Cancel leaves the options";
  dialog.fail = true;
  EXPECT_EQ(w.ChooseOptions(dialog).text, "Unspecified error");
  EXPECT_EQ(w.GetCompressOptions(), CompressOptions{});
  dialog.fail = false;
  dialog.result = true;
  EXPECT_TRUE(w.ChooseOptions(dialog).empty());
  EXPECT_EQ(dialog.offered, AvailableCodecs().size());
  EXPECT_EQ(w.GetCompressOptions().fccHandler, FourCC("FFV1"));
  EXPECT_EQ(w.GetCompressOptions().fccType, kStreamTypeVideo);
  ASSERT_TRUE(w.WriteFrame(frames[0].Pixels(), 0).empty());
  ASSERT_TRUE(w.WriteFrame(frames[1].Pixels(), 1).empty());

  // Opening another stream finishes the held one.
  ASSERT_TRUE(w.OpenStream(frames[0], dir.Path("d.avi")).empty());
  EXPECT_EQ(Probe(dir.Path("c.avi")).at("codec_name"), "ffv1");
  EXPECT_EQ(DecodeGrey(dir, dir.Path("c.avi")), TopDown(frames));
  EXPECT_TRUE(w.CloseStream().empty());
  const auto empty = Probe(dir.Path("d.avi"));
  EXPECT_EQ(empty.at("codec_name"), "ffv1");
  EXPECT_EQ(empty.at("width"), "101");
}

// A file-size limit makes a write fail part-way; the file keeps the frames written before.
TEST(VideoWriter, AFailedWriteIsReportedAndTheFileHoldsTheFramesBefore) {
  test::ScratchDir dir;
  std::vector<MaskImage> frames;
  for (uint32_t i = 0; i < 40; ++i)
    frames.push_back(Noise(101, 60, i));
  for (const uint32_t fourcc : {0u, FourCC("FFV1")}) {
    const std::string avi = dir.Path("full.avi");
    const std::string report = test::InChild([&] {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{60000, 60000};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      TVideoWriter w;
      w.SetCompressOptions(Compressor(fourcc));
      if (!w.OpenStream(frames[0], avi).empty()) return std::string("not opened");
      int written = 0;
      ErrorText error;
      while (written < int(frames.size()) &&
             (error = w.WriteFrame(frames[size_t(written)].Pixels(), written)).empty())
        ++written;
      const std::string code = error.text == AviErrorText(AVIERR_FILEWRITE) ? "FILEWRITE" : "other";
      const std::string reason = error.reason == "File too large" ? " EFBIG" : " other";
      return std::to_string(written) + " " + code + reason +
             (w.CloseStream().empty() ? " closed" : " failed");
    });
    int written = 0;
    char code[16] = {}, reason[16] = {}, closed[16] = {};
    ASSERT_EQ(std::sscanf(report.c_str(), "%d %15s %15s %15s", &written, code, reason, closed), 4)
        << report;
    EXPECT_STREQ(code, "FILEWRITE") << report;
    EXPECT_STREQ(reason, "EFBIG") << report;
    EXPECT_STREQ(closed, "failed") << report;
    ASSERT_GE(written, 1) << report;
    ASSERT_LT(written, int(frames.size())) << report;
    EXPECT_EQ(Probe(avi).at("nb_read_frames"), std::to_string(written)) << FourCCText(fourcc);
    EXPECT_EQ(DecodeGrey(dir, avi), TopDown(frames, size_t(written))) << FourCCText(fourcc);
  }
}

}  // namespace
}  // namespace quarvel
