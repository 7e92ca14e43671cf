#include "sequencer.h"

#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "base/file_io.h"
#include "render/rasterizer.h"

namespace quarvel {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr size_t kMaxFileName = 255;  // bytes of one file name (NAME_MAX)

// Keeps the workspace's animating state set for the life of a run, so that every frame keeps
// RenderBox, and gives the previous state back however the run ends.
class AnimatingScope {
 public:
  explicit AnimatingScope(Workspace& ws) : ws_(ws), was_(ws.animating) { ws_.animating = true; }
  ~AnimatingScope() { ws_.animating = was_; }
  AnimatingScope(const AnimatingScope&) = delete;
  AnimatingScope& operator=(const AnimatingScope&) = delete;

 private:
  Workspace& ws_;
  bool was_;
};

// GetMaxBox for the model as it is placed now, not as it was at the last render.
void SetMaxBox(Workspace& ws, const AnimationParams& p) {
  ws.scene.ModelTransform = ws.scene.ModelFrame->GetTransform();
  GetMaxBox(ws.scene, ws.render, p.scaleX, p.scaleY, p.scaleZ);
}

// Sets the model frame turning by one frame's angle at each tick.
void PrepareRotation(Workspace& ws, const AnimationParams& p) {
  AbortRequested = 0;
  float ax, ay, az;
  const int16_t turns = GetRotationParms(p.x, p.y, p.z, ax, ay, az);
  ws.scene.ModelFrame->SetRotation(ax, ay, az, StepAngle(turns, p.frames));
}

// Turns the model by one frame and renders it with the run's RenderBox. False when a stop
// request cut the render short: the frame is then neither shown nor written.
bool RenderNextFrame(Workspace& ws, const AnimationParams& p, const RunHooks& hooks,
                     const FrameRender& render) {
  ws.scene.SceneFrame->Move(1.0);
  if (hooks.beforeRender) hooks.beforeRender();
  try {
    render(ws, p.width, p.height, hooks.fb);
  } catch (const RenderStopped&) {
    return false;
  }
  if (hooks.afterRender) hooks.afterRender();
  return true;
}

// Writes one frame file on a thread of its own while the next frame renders: a frame's file is
// synced to the disk before it counts as written, and that wait would otherwise stop the
// renderer every frame. The frame is kept first (the output copies it or takes it over), so that
// the next render does not touch what is being written. Where the system refuses a thread, the
// frame is written at once.
class FrameWriter {
 public:
  explicit FrameWriter(const FrameOutput& output) : output_(output) {}
  FrameWriter(const FrameWriter&) = delete;
  FrameWriter& operator=(const FrameWriter&) = delete;
  ~FrameWriter() {
    if (thread_.joinable()) thread_.join();
  }

  void Start(const Workspace& ws, std::string name) {
    output_.keep(ws);
    name_ = std::move(name);
    try {
      thread_ = std::thread([this] { Save(); });
    } catch (const std::system_error&) {
      Save();
    }
  }

  // Waits for the frame under way. Returns its error, empty once it is written (or when no
  // frame was under way); an exception from the write comes out here.
  ErrorText Wait() {
    if (thread_.joinable()) thread_.join();
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    return std::exchange(error_, {});
  }

 private:
  void Save() {
    try {
      error_ = output_.save(name_);
    } catch (...) {
      failure_ = std::current_exception();
    }
  }

  const FrameOutput& output_;
  std::string name_;
  ErrorText error_;
  std::exception_ptr failure_;
  std::thread thread_;
};

// The temporary file of an AVI run that replaces its file only when finished: made beside the
// file, with the permissions of the file it replaces, and removed at the end of its scope
// unless it was put in place.
class PendingFile {
 public:
  explicit PendingFile(const std::string& path)
      : path_(path), temp_(CreateTempBeside(path, TempMode::LikeReplaced)) {}
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile() {
    if (temp_.fd >= 0) ::close(temp_.fd);
    if (!temp_.path.empty()) ::unlink(temp_.path.c_str());
  }

  // The errno of what failed in making the file, 0 when it is ready.
  int error() const { return temp_.error; }
  // The open file, handed over to whoever writes it.
  int TakeFd() { return std::exchange(temp_.fd, -1); }
  // Renames the finished file over the path. Returns 0 or the errno of what failed.
  int PutInPlace() {
    const int error = RenameOver(temp_.path, path_);
    if (error == 0) temp_.path.clear();
    return error;
  }

 private:
  std::string path_;
  TempFile temp_;
};

RunResult Failed(ErrorText error) {
  RunResult failed;
  failed.end = RunEnd::Failed;
  failed.error = std::move(error);
  return failed;
}

// A failed AVI run's error: "Error writing rendered frame:" with the writer's text and reason.
ErrorText FrameNotWritten(const ErrorText& writerError) {
  return {ErrorKind::File, "Error writing rendered frame:", writerError.text, writerError.reason};
}

// The frames of an AVI run into the writer's stream, which the caller opened and closes. A
// stream that failed to open (`opened`) fails the first frame, once it is rendered.
RunResult WriteAviFrames(Workspace& ws, TVideoWriter& writer, const AnimationParams& p,
                         const RunHooks& hooks, const ErrorText& opened) {
  PrepareRotation(ws, p);
  RunResult result;
  for (int i = 0; i < p.frames; ++i) {
    if (!RenderNextFrame(ws, p, hooks, RenderMask)) {
      AbortRequested = 0;
      result.end = RunEnd::Canceled;
      return result;
    }
    if (hooks.frameDone) hooks.frameDone(i);
    const ErrorText error = opened.empty() ? writer.WriteFrame(ws.mask.Pixels(), i) : opened;
    const bool written = error.empty();
    if (written) result.framesWritten = i + 1;
    if (AbortRequested != 0 || !written) {
      AbortRequested = 0;
      // A frame that was not written outranks a cancel in the same frame.
      if (written) {
        result.end = RunEnd::Canceled;
      } else {
        result.end = RunEnd::Failed;
        result.error = FrameNotWritten(error);
      }
      return result;
    }
  }
  return result;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int16_t GetRotationParms(int16_t x, int16_t y, int16_t z, float& ax, float& ay, float& az) {
  const int absX = std::abs(x), absY = std::abs(y), absZ = std::abs(z);
  ax = 1;
  ay = x != 0 ? Store(double(y) / x) : 1;
  az = x != 0 ? Store(double(z) / x) : 1;
  if (absY >= absX && absY >= absZ) {
    if (y != 0) ax = Store(double(x) / y);
    ay = 1;
    if (y != 0) az = Store(double(z) / y);
    return y;
  }
  if (absZ >= absY && absZ >= absX) {
    if (z != 0) {
      ax = Store(double(x) / z);
      ay = Store(double(y) / z);
    }
    az = 1;
    return z;
  }
  return x;
}

float StepAngle(int16_t turns, int frames) {
  const int twice = 2 * turns;
  return Store(twice * kPi / frames);
}

std::string FrameFileName(const std::string& first, int i, const std::string& extension) {
  std::string number = std::to_string(i);
  if (number.size() < 4) number.insert(0, 4 - number.size(), '0');
  return first + number + extension;
}

bool FrameNamesFit(const std::string& first, int frames, const std::string& extension) {
  // The last frame has the longest number.
  return frames <= 0 ||
         FrameFileName(BaseName(first), frames - 1, extension).size() <= kMaxFileName;
}

FrameOutput BmpFrames() {
  // The frame being written: a copy, so that the workspace's mask stays the frame just rendered
  // for the preview and for a Save after the run. Its block is kept from frame to frame.
  auto frame = std::make_shared<MaskImage>();
  return {".bmp", RenderMask, [frame](const Workspace& ws) { frame->CopyFrom(ws.mask); },
          [frame](const std::string& path) { return frame->SaveToFile(path); }};
}

void BeginAnimation(Workspace& ws, const AnimationParams& p) {
  ws.animating = true;
  SetMaxBox(ws, p);
}

void EndAnimation(Workspace& ws) {
  ws.animating = false;
}

RunResult RunBmpSequence(Workspace& ws, const AnimationParams& p, const std::string& first,
                         const RunHooks& hooks, const FrameOutput& output) {
  AnimatingScope animating(ws);
  SetMaxBox(ws, p);
  PrepareRotation(ws, p);
  RunResult result;
  FrameWriter writer(output);
  // Frame i renders while frame i - 1 is written; a frame counts, and is reported, once its
  // file is written. A frame that cannot be written is seen once the next one has rendered, and
  // ends the run there: that next frame is not written.
  const auto frameWritten = [&](int i) {
    ErrorText error = writer.Wait();
    if (!error.empty()) {
      result.end = RunEnd::Failed;
      result.error = std::move(error);
      return false;
    }
    result.framesWritten = i + 1;
    return true;
  };
  for (int i = 0; i < p.frames; ++i) {
    const bool rendered = RenderNextFrame(ws, p, hooks, output.render);
    if (i > 0) {
      if (!frameWritten(i - 1)) return result;
      if (hooks.frameDone) hooks.frameDone(i - 1);
    }
    if (!rendered) {
      AbortRequested = 0;
      result.end = RunEnd::Canceled;
      return result;
    }
    writer.Start(ws, FrameFileName(first, i, output.extension));
    if (AbortRequested != 0) {
      AbortRequested = 0;
      if (frameWritten(i)) result.end = RunEnd::Canceled;
      return result;
    }
  }
  if (p.frames > 0 && frameWritten(p.frames - 1) && hooks.frameDone) hooks.frameDone(p.frames - 1);
  return result;
}

std::string AviFailureMessage(const ErrorText& error, const Feedback& fb) {
  std::string message = error.Message(fb);
  if (error.text.find("%s") == std::string::npos) message += " " + error.arg;
  if (!error.reason.empty()) message += (message.back() == ' ' ? "(" : " (") + error.reason + ")";
  return message;
}

RunResult RunAvi(Workspace& ws, TVideoWriter& writer, const AnimationParams& p,
                 const std::string& file, const RunHooks& hooks, AviReplace replace) {
  if (p.fps < 1)
    return Failed({ErrorKind::Usage,
                   "The frame rate must be at least 1 frame per second for an AVI file", ""});
  AnimatingScope animating(ws);
  SetMaxBox(ws, p);
  writer.SetFrameRate(p.fps);
  if (replace == AviReplace::InPlace) {
    const ErrorText opened = writer.OpenStream(ws.mask, file);
    const RunResult result = WriteAviFrames(ws, writer, p, hooks, opened);
    writer.CloseStream();
    return result;
  }
  PendingFile pending(file);
  if (pending.error() != 0)
    return Failed({ErrorKind::File, "Cannot create file %s", file, ErrorReason(pending.error())});
  const ErrorText opened = writer.OpenStream(ws.mask, pending.TakeFd());
  const RunResult result = WriteAviFrames(ws, writer, p, hooks, opened);
  const ErrorText closed = writer.CloseStream();
  if (result.end != RunEnd::Finished) return result;
  if (!closed.empty()) return Failed(FrameNotWritten(closed));
  if (const int error = pending.PutInPlace(); error != 0)
    return Failed({ErrorKind::File, "Cannot create file %s", file, ErrorReason(error)});
  return result;
}

}  // namespace quarvel
