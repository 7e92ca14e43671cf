#include "exr_file.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfOutputFile.h>

#include <algorithm>
#include <stdexcept>

namespace quarvel {

namespace {

// An output stream into memory. OpenEXR seeks back to fill in the table of line offsets once
// the lines are written, so a write may land anywhere up to the end.
class MemoryStream : public Imf::OStream {
 public:
  MemoryStream() : Imf::OStream("memory") {}

  void write(const char c[], int n) override {
    if (n < 0) throw std::invalid_argument("negative write length");
    const size_t end = position_ + size_t(n);
    if (end > bytes_.size()) bytes_.resize(end);
    std::copy_n(reinterpret_cast<const uint8_t*>(c), n, bytes_.begin() + std::ptrdiff_t(position_));
    position_ = end;
  }
  uint64_t tellp() override { return position_; }
  void seekp(uint64_t pos) override {
    if (pos > bytes_.size()) throw std::out_of_range("seek beyond the end of the EXR data");
    position_ = size_t(pos);
  }

  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
};

}  // namespace

std::vector<uint8_t> ExrBytes(const DepthImage& depth) {
  if (depth.depth.size() != size_t(depth.width) * size_t(depth.height))
    throw std::invalid_argument("depth image of the wrong size");
  Imf::Header header(depth.width, depth.height);
  header.channels().insert("Z", Imf::Channel(Imf::FLOAT));
  header.compression() = Imf::ZIP_COMPRESSION;
  MemoryStream stream;
  {
    Imf::OutputFile file(stream, header, 0);
    Imf::FrameBuffer frame;
    // OpenEXR only reads through the slice's pointer when it writes.
    char* base = reinterpret_cast<char*>(const_cast<float*>(depth.depth.data()));
    frame.insert("Z",
                 Imf::Slice(Imf::FLOAT, base, sizeof(float), sizeof(float) * size_t(depth.width)));
    file.setFrameBuffer(frame);
    file.writePixels(depth.height);
  }  // the file is finished (its line offsets written) when it is closed
  return stream.Take();
}

}  // namespace quarvel
