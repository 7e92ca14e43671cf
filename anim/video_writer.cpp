#include "video_writer.h"

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <new>
#include <utility>

#include "settings/locations.h"
#include "video_module.h"

namespace quarvel {

const VideoModule* LoadVideoModule() {
  static const VideoModule* const module = [] {
    const std::string exeDir = ExecutableDir();
    for (const std::string& path :
         {exeDir + "/quarvel-avi.so", exeDir + "/../lib/quarvel/quarvel-avi.so"}) {
      void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle) continue;
      // The module stays loaded for the life of the process.
      if (auto* entry = reinterpret_cast<decltype(&QuarvelVideoModule)>(
              ::dlsym(handle, "QuarvelVideoModule")))
        return entry();
    }
    return static_cast<const VideoModule*>(nullptr);
  }();
  return module;
}

void TVideoWriter::StreamFree::operator()(VideoStream* s) const {
  LoadVideoModule()->free(s);
}

TVideoWriter::TVideoWriter() = default;

TVideoWriter::~TVideoWriter() {
  CloseStream();
}

bool TVideoWriter::SetFrameRate(int fps) {
  if (fps < 1) return false;
  fps_ = fps;
  return true;
}

void TVideoWriter::SetCompressOptions(CompressOptions options) {
  options_ = std::move(options);
  options_.fccType = kStreamTypeVideo;
}

bool TVideoWriter::OpenStream(const MaskImage& image, const std::string& fileName) {
  CloseStream();
  const int64_t frameBytes = int64_t{image.Stride()} * image.Height();
  if (image.Width() <= 0 || image.Height() <= 0 || frameBytes > INT_MAX / 2) return false;
  const VideoModule* module = LoadVideoModule();
  if (!module) return false;
  const FrameGeometry g{image.Width(), image.Height(), image.Stride(), fps_};
  stream_.reset(module->open(g, image.BitmapInfo(), fileName));
  return stream_ != nullptr;
}

int TVideoWriter::ChooseOptions(OptionsDialog& dialog) {
  if (!stream_) return -1;
  try {
    CompressOptions chosen = options_;
    const int result = dialog.Choose(chosen, AvailableCodecs());
    if (result == 1) SetCompressOptions(std::move(chosen));
    return result;
  } catch (...) {
    return -1;
  }
}

bool TVideoWriter::WriteFrame(std::span<const uint8_t> pixels, int sample) {
  if (!stream_) return false;
  lastError_ = LoadVideoModule()->write(stream_.get(), pixels, sample, options_);
  return lastError_ == 0;
}

bool TVideoWriter::CloseStream() {
  if (!stream_) return false;
  const StreamPtr s = std::move(stream_);
  return LoadVideoModule()->finish(s.get(), options_);
}

std::string TVideoWriter::GetErrorText() const {
  return AviErrorText(lastError_);
}

std::string TVideoWriter::GetCodecName() const {
  const CodecInfo* c = FindCodec(options_.fccHandler);
  return c ? c->shortName + "\n\r" + c->description : "UNCOMPRESSED";
}

const std::vector<CodecInfo>& AvailableCodecs() {
  static const std::vector<CodecInfo> none;
  const VideoModule* module = LoadVideoModule();
  return module ? module->codecs() : none;
}

const CodecInfo* FindCodec(uint32_t fourcc) {
  if (fourcc == 0) return nullptr;
  const std::vector<CodecInfo>& infos = AvailableCodecs();
  const auto it = std::find_if(infos.begin(), infos.end(),
                               [&](const CodecInfo& c) { return c.fourcc == fourcc; });
  return it == infos.end() ? nullptr : &*it;
}

std::string FourCCText(uint32_t fourcc) {
  std::string text(4, ' ');
  for (size_t i = 0; i < 4; ++i)
    text[i] = static_cast<char>(fourcc >> (8 * i) & 0xff);
  return text;
}

std::string AviErrorText(uint32_t code) {
  static constexpr std::pair<uint32_t, const char*> kTexts[] = {
      {101, "Error unsupported"},
      {102, "Bad format"},
      {103, "Memory error"},
      {104, "Selected codec does not support input format"},
      {105, "Bad flags"},
      {106, "Bad parameter"},
      {107, "bad size"},
      {108, "Bad handle"},
      {109, "Error reading file"},
      {110, "Error writing file"},
      {111, "Error opening file"},
      {112, "Compressor error"},
      {113, "There is no compressor"},
      {114, "Read only"},
      {115, "No data"},
      {116, "Buffer too small"},
      {117, "Can not compress"},
      {198, "Aborted by user"},
      {199, "Unspecified error"},
  };
  for (const auto& [n, text] : kTexts)
    if (code == MakeAviErr(n)) return text;
  return "";
}

}  // namespace quarvel
