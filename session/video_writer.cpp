#include "video_writer.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <new>
#include <utility>

#include "base/file_io.h"
#include "session/video_module.h"
#include "settings/locations.h"

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

namespace {

// Whether a stream can be made for frames of that mask: a size, a frame the module can take in
// one piece, and the module.
bool CanStream(const MaskImage& image) {
  const int64_t frameBytes = int64_t{image.Stride()} * image.Height();
  return image.Width() > 0 && image.Height() > 0 && frameBytes <= INT_MAX / 2 &&
         LoadVideoModule() != nullptr;
}

// Creates the file a stream fills under `path`, in place of a regular file there (or at the end
// of a link there, which stays); any other kind of file is refused and left alone. The new file
// is made beside it under a name of its own, never through a link, and renamed over the name at
// once: the earlier file is gone from the start, and whatever turns up at the name meanwhile (a
// link, a FIFO) is replaced by the rename, never opened. Returns the descriptor, or -1 with
// `error` set to the errno of the failure.
int CreateFile(const std::string& path, int& error) {
  struct stat st {};
  if (::lstat(LinkTarget(path).c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    error = S_ISDIR(st.st_mode) ? EISDIR : S_ISLNK(st.st_mode) ? ELOOP : EEXIST;
    return -1;
  }
  const TempFile temp = CreateTempBeside(path, TempMode::New);
  error = temp.fd < 0 ? temp.error : RenameOver(temp.path, path);
  if (error == 0) return temp.fd;
  if (temp.fd >= 0) {
    ::close(temp.fd);
    ::unlink(temp.path.c_str());
  }
  return -1;
}

// The system's reason for the failure of the stream's file; empty when its file did not fail.
std::string FileReason(const VideoStream* s) {
  const int error = LoadVideoModule()->fileError(s);
  return error != 0 ? ErrorReason(error) : "";
}

// The failure of AVIERR code `code`: the file's (with the system's reason) for a write that
// failed, the writer's own for any other.
ErrorText AviFailure(uint32_t code, std::string reason = {}) {
  const ErrorKind kind = code == AVIERR_FILEWRITE ? ErrorKind::File : ErrorKind::Failure;
  return {kind, AviErrorText(code), "", std::move(reason)};
}

// A stream that could not be made: no AVIERR code, only the system's reason where there is one.
ErrorText NotOpened(ErrorKind kind, std::string reason = {}) {
  return {kind, "", "", std::move(reason)};
}

}  // namespace

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

ErrorText TVideoWriter::OpenStream(const MaskImage& image, const std::string& fileName) {
  CloseStream();
  if (!CanStream(image)) return NotOpened(ErrorKind::Failure);
  int error = 0;
  const int fd = CreateFile(fileName, error);
  if (fd >= 0) return OpenStream(image, fd);
  return NotOpened(ErrorKind::File, ErrorReason(error));
}

ErrorText TVideoWriter::OpenStream(const MaskImage& image, int fd) {
  CloseStream();
  if (!CanStream(image)) {
    ::close(fd);
    return NotOpened(ErrorKind::Failure);
  }
  refusal_.clear();
  const FrameGeometry g{image.Width(), image.Height(), image.Stride(), fps_};
  stream_.reset(LoadVideoModule()->open(g, image.BitmapInfo(), fd));
  return stream_ ? ErrorText{} : NotOpened(ErrorKind::Failure, ErrorReason(ENOMEM));
}

ErrorText TVideoWriter::ChooseOptions(OptionsDialog& dialog) {
  if (!stream_) return AviFailure(AVIERR_BADHANDLE);
  try {
    CompressOptions chosen = options_;
    if (dialog.Choose(chosen, AvailableCodecs())) SetCompressOptions(std::move(chosen));
    return {};
  } catch (...) {
    return AviFailure(AVIERR_ERROR);
  }
}

ErrorText TVideoWriter::WriteFrame(std::span<const uint8_t> pixels, int sample) {
  if (!stream_) return AviFailure(AVIERR_BADHANDLE);
  const uint32_t code = LoadVideoModule()->write(stream_.get(), pixels, sample, options_);
  refusal_ = LoadVideoModule()->refusal(stream_.get());
  if (code == 0) return {};
  return AviFailure(code, code == AVIERR_FILEWRITE ? FileReason(stream_.get()) : "");
}

ErrorText TVideoWriter::CloseStream() {
  if (!stream_) return AviFailure(AVIERR_BADHANDLE);
  const StreamPtr s = std::move(stream_);
  const bool finished = LoadVideoModule()->finish(s.get(), options_);
  refusal_ = LoadVideoModule()->refusal(s.get());
  return finished ? ErrorText{} : AviFailure(AVIERR_FILEWRITE, FileReason(s.get()));
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

void ShowCodecLog(bool shown) {
  if (const VideoModule* module = LoadVideoModule()) module->showLog(shown);
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
