// Turning animations: the model turns a whole number of times about one axis over N frames and
// each frame is rendered with one fixed depth range, then written as the next file of a BMP
// sequence or the next frame of an AVI file. The dialog and quarvel-render run the same code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/error_text.h"
#include "session/video_writer.h"
#include "session/workspace.h"

namespace quarvel {

constexpr int kMinFrames = 2, kMaxFrames = 10000;

// What a run is asked to do, as the animation dialog's controls hold it.
struct AnimationParams {
  int frames = 60;              // 2 to 10000
  int fps = 25;                 // 0 to 40; an AVI run needs at least 1
  int16_t x = 0, y = 1, z = 0;  // evolutions per cycle about each axis, -100 to 100
  bool scaleX = true, scaleY = false, scaleZ = true;  // the scaling mode for GetMaxBox
  int width = 640, height = 480;  // the frames' size: the main window's size controls
};

// The rotation of a run from the three evolution counts: fills the axis (the counts divided by
// the dominant one; Y wins every tie, Z a tie with X) and returns the dominant count, the
// number of whole turns per cycle.
int16_t GetRotationParms(int16_t x, int16_t y, int16_t z, float& ax, float& ay, float& az);

// The turn of one frame: (2 D) pi / N, rounded to float.
float StepAngle(int16_t turns, int frames);

// The name of frame i of a sequence: `first` (the name the user chose, extension included)
// followed by i in four digits at least and the frames' extension: walk.bmp gives
// walk.bmp0000.bmp.
std::string FrameFileName(const std::string& first, int i, const std::string& extension = ".bmp");
// Whether every frame name of a run fits the system's limit of 255 bytes for a file name.
bool FrameNamesFit(const std::string& first, int frames, const std::string& extension = ".bmp");

// Start of an animation: the workspace keeps RenderBox as GetMaxBox sets it (for the model as
// it is placed now), for the start-up mask and every frame after it, until EndAnimation. The
// caller then renders the start-up mask at the run's size, so that the user sees the depth
// range; an AVI run takes its stream's size from that mask.
void BeginAnimation(Workspace& ws, const AnimationParams& p);
void EndAnimation(Workspace& ws);

// How a run talks to whoever runs it, once per frame.
struct RunHooks {
  Feedback fb;                               // the renderer's status, progress and messages
  std::function<void()> beforeRender;        // the 3D view redrawn, pending messages processed
  std::function<void()> afterRender;         // the preview updated
  std::function<void(int frame)> frameDone;  // frame written: the progress bar
};

enum class RunEnd { Finished, Canceled, Failed };

struct RunResult {
  RunEnd end = RunEnd::Finished;
  int framesWritten = 0;
  // Failed: for a BMP frame, the file's error (its text, the file, the system's reason); for
  // an AVI frame, "Error writing rendered frame:" with the writer's text as `arg` and its
  // reason; for an AVI file that could not be made or put in place, the file's error.
  ErrorText error;
};

// A failed AVI run's message in the user's language: "Error writing rendered frame:", one blank
// and the writer's text (or the file's error), then the system's reason in parentheses where
// there is one.
std::string AviFailureMessage(const ErrorText& error, const Feedback& fb);

// How the frames of a sequence are made and written. A frame renders while the one before it is
// being written: `render` draws the frame (the model already turned), `keep` then hands it to
// `save` (called once the frame before is written), and `save` writes it on the writer thread
// while the next frame renders.
using FrameRender = std::function<void(Workspace& ws, int width, int height, const Feedback& fb)>;
struct FrameOutput {
  std::string extension;  // of the frames' names, dot included
  FrameRender render;
  std::function<void(const Workspace& ws)> keep;
  std::function<ErrorText(const std::string& path)> save;
};

// The 8-bit mask rendered into the workspace's mask (which the preview shows) and written as a
// BMP file: what the animation dialog writes.
FrameOutput BmpFrames();

// The runs, from the run's own GetMaxBox on (the caller has chosen the file). AbortRequested,
// cleared at the start, stops a run after the frame under way is written; the model stays at
// that frame's orientation. StopRequested cuts the frame under way short, and it is not written.
RunResult RunBmpSequence(Workspace& ws, const AnimationParams& p, const std::string& first,
                         const RunHooks& hooks, const FrameOutput& output = BmpFrames());

// What an AVI run does to the file it names. InPlace (the animation dialog): an earlier file is
// replaced when the stream opens, and a run that stops keeps the frames written before in it.
// WhenFinished (quarvel-render): the frames go to a temporary file beside it that is renamed
// over it after the last frame; a run that fails or is cancelled removes the temporary file and
// leaves an earlier file as it was.
enum class AviReplace { InPlace, WhenFinished };

RunResult RunAvi(Workspace& ws, TVideoWriter& writer, const AnimationParams& p,
                 const std::string& file, const RunHooks& hooks,
                 AviReplace replace = AviReplace::InPlace);

}  // namespace quarvel
