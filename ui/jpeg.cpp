#include "ui/jpeg.h"

// libjpeg's header needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <csetjmp>
#include <cstddef>
#include <cstdio>

namespace quarvel {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return: ours jumps back to
// the decoding function with the message kept.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX] = {};
};

struct ScanGuard {
  jpeg_progress_mgr pub;
  int maxScans = 0;
};

// One decoding's state, owned outside the function that holds the jump target, so that nothing
// it reads after the jump was changed in that function's frame.
struct Decoder {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  ScanGuard guard;
  bool created = false;

  ~Decoder() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

[[noreturn]] void Fail(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

[[noreturn]] void FailWith(j_common_ptr cinfo, const char* message) {
  std::snprintf(reinterpret_cast<ErrorManager*>(cinfo->err)->message, JMSG_LENGTH_MAX, "%s",
                message);
  Fail(cinfo);
}

void ErrorExit(j_common_ptr cinfo) {
  (*cinfo->err->format_message)(cinfo, reinterpret_cast<ErrorManager*>(cinfo->err)->message);
  Fail(cinfo);
}

// A warning (level -1) means damaged data, such as a file cut short: it ends the decoding like
// an error. Trace messages are dropped; nothing is ever printed.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) ErrorExit(cinfo);
}

void OutputMessage(j_common_ptr) {}

// A progressive picture can hold any number of scans, each asking for another pass over the
// whole picture: more than the limit is refused.
void CountScans(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > reinterpret_cast<ScanGuard*>(cinfo->progress)->maxScans)
    FailWith(cinfo, "The JPEG picture has too many scans");
}

// False after any failure, with the message in d.err.
bool Decode(std::span<const uint8_t> data, const JpegLimits& limits, Decoder& d, RgbImage& out) {
  jpeg_decompress_struct& cinfo = d.cinfo;
  cinfo.err = jpeg_std_error(&d.err.pub);
  d.err.pub.error_exit = ErrorExit;
  d.err.pub.emit_message = EmitMessage;
  d.err.pub.output_message = OutputMessage;
  if (setjmp(d.err.jump)) return false;

  jpeg_create_decompress(&cinfo);
  d.created = true;
  d.guard.pub.progress_monitor = CountScans;
  d.guard.maxScans = limits.maxScans;
  cinfo.progress = &d.guard.pub;
  cinfo.mem->max_memory_to_use = limits.maxDecoderMemory;
  jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&cinfo, TRUE);
  if (cinfo.image_width > JDIMENSION(limits.maxWidth) ||
      cinfo.image_height > JDIMENSION(limits.maxHeight))
    FailWith(reinterpret_cast<j_common_ptr>(&cinfo), "The JPEG picture is too large");
  if (cinfo.num_components != 1 && cinfo.num_components != 3)
    FailWith(reinterpret_cast<j_common_ptr>(&cinfo), "The JPEG picture is neither grey nor colour");
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  if (cinfo.output_components != 3)
    FailWith(reinterpret_cast<j_common_ptr>(&cinfo), "The JPEG picture is neither grey nor colour");

  out.width = int(cinfo.output_width);
  out.height = int(cinfo.output_height);
  out.pixels.assign(size_t(out.width) * size_t(out.height) * 3, 0);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.Pixel(0, int(cinfo.output_scanline));
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

}  // namespace

JpegResult DecodeJpeg(std::span<const uint8_t> data, const JpegLimits& limits) {
  JpegResult result;
  Decoder d;
  if (!Decode(data, limits, d, result.image)) {
    result.image = {};
    result.error = d.err.message;
  }
  return result;
}

}  // namespace quarvel
