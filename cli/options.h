// The batch renderer's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch.h"
#include "camera_views.h"
#include "model_side.h"
#include "output_format.h"
#include "output_tones.h"
#include "physical_scale.h"
#include "render/depth_levels.h"
#include "scene/scene.h"
#include "session/sequencer.h"
#include "session/video_writer.h"
#include "settings/props.h"

namespace quarvel {

struct ViewOp {
  enum Kind { Rotate, Clicks, MoveX, MoveY, MoveZ, Side } kind;
  Vec3 axis;        // Rotate, Clicks
  float value = 0;  // Rotate: radians; moves: distance
  int clicks = 0;   // Clicks: positive for the left arrow (+0.05), negative for the right
  ModelSide side = ModelSide::Front;  // Side: always the first operation, and only once
};

struct RenderOptions {
  std::string model;
  std::string output;  // default: the model's name with ".bmp", in the current folder
  int width = 640, height = 480;
  bool sizeGiven = false;  // by --size
  std::vector<ViewOp> view;
  // The last --move-z, and the last --move-x or --move-y, with the value as typed: what messages
  // name.
  std::string moveZText, moveXYText;
  int threads = 0;  // 0: one per processor
  bool info = false;
  bool help = false;
  bool version = false;     // --version: print the program's name and version
  bool listCodecs = false;  // --codecs: list the AVI compressors and do nothing else
  bool verbose = false;     // --verbose: FFmpeg's own messages go to standard error too

  // What is written: the format (given, or from the output's extension), the depths the levels
  // of bmp, png and png16 span (none: the render's own range; bmp and png are then the 8-bit
  // mask as the rasteriser draws it), and the JSON file that describes the picture.
  OutputFormat format = OutputFormat::Bmp;
  bool formatGiven = false;  // by --format, not taken from the output's name
  std::optional<DepthRange> depthRange;
  std::string sidecar;
  OutFolder folder;        // where the outputs' paths are taken from (a batch's model folder)
  ToneOptions tones;       // --invert, --background, --gamma, --levels
  int supersample = 1;     // --supersample: samples per pixel across and down
  PhysicalScale physical;  // --px-per-mm or --dpi, --units, --margin

  // The perspective camera and its views; whole collections from a list.
  CameraOptions camera;
  BatchOptions batch;
  bool Batch() const { return !batch.list.empty(); }

  // An animation instead of one mask: a BMP sequence or an AVI file, never both.
  std::string bmpSequence;  // the first name; frame i goes to bmpSequence + "0000.bmp" and on
  std::string avi;
  AnimationParams anim;      // frames, turns, scaling mode, fps; the size is width x height
  CompressOptions compress;  // the AVI file's compressor and its settings
  bool Animation() const { return !bmpSequence.empty() || !avi.empty(); }
};

constexpr int kMaxClicks = 1000000;
constexpr int kMinViewSize = 16;  // the smallest side of the perspective camera's pictures
constexpr int kMaxTurns = 100;
constexpr int kMaxFps = 40;
constexpr int kMaxDataRate = 1000000;  // kilobits per second

// Parses the arguments after the program's name. Returns the options, or sets `error` to a
// message for the user and returns nothing.
std::optional<RenderOptions> ParseRenderOptions(const std::vector<std::string>& args,
                                                std::string& error);

// Applies the view operations to a freshly loaded scene, in order.
void ApplyView(Scene& scene, const std::vector<ViewOp>& view);

extern const char* const kRenderUsage;

}  // namespace quarvel
