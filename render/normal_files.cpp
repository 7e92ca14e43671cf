#include "normal_files.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>

#include <cmath>
#include <stdexcept>

#include "exr_stream.h"
#include "png_file.h"

namespace quarvel {

namespace {

void CheckSize(const NormalImage& normals) {
  if (normals.width < 0 || normals.height < 0 ||
      normals.xyz.size() != 3 * size_t(normals.width) * size_t(normals.height))
    throw std::invalid_argument("normals picture of the wrong size");
}

// A component in -1..1 as a 16-bit sample; the no-face pixel's zeros are written as they are.
uint16_t Sample(float c, bool covered) {
  if (!covered) return 0;
  const double v = std::round((double(c) + 1) / 2 * 65535);
  if (!(v > 0)) return 0;  // NaN too
  return v > 65535 ? 65535 : uint16_t(v);
}

}  // namespace

std::vector<uint8_t> NormalsExrBytes(const NormalImage& normals) {
  CheckSize(normals);
  Imf::Header header(normals.width, normals.height);
  for (const char* name : {"R", "G", "B"})
    header.channels().insert(name, Imf::Channel(Imf::FLOAT));
  header.compression() = Imf::ZIP_COMPRESSION;
  ExrMemoryStream stream;
  {
    Imf::OutputFile file(stream, header, 0);
    Imf::FrameBuffer frame;
    // OpenEXR only reads through the slices' pointers when it writes.
    char* base = reinterpret_cast<char*>(const_cast<float*>(normals.xyz.data()));
    const size_t pixel = 3 * sizeof(float), row = pixel * size_t(normals.width);
    frame.insert("R", Imf::Slice(Imf::FLOAT, base, pixel, row));
    frame.insert("G", Imf::Slice(Imf::FLOAT, base + sizeof(float), pixel, row));
    frame.insert("B", Imf::Slice(Imf::FLOAT, base + 2 * sizeof(float), pixel, row));
    file.setFrameBuffer(frame);
    file.writePixels(normals.height);
  }  // the file is finished (its line offsets written) when it is closed
  return stream.Take();
}

std::vector<uint8_t> NormalsPngBytes(const NormalImage& normals) {
  CheckSize(normals);
  return PngBytes(&normals, normals.width, normals.height, 16, 3, 0,
                  [](const void* picture, int r, uint8_t* row) {
                    const auto& n = *static_cast<const NormalImage*>(picture);
                    const float* from = n.xyz.data() + 3 * size_t(r) * size_t(n.width);
                    for (int c = 0; c < n.width; ++c) {
                      const float* p = from + 3 * c;
                      const bool covered = p[0] != 0 || p[1] != 0 || p[2] != 0;
                      for (int k = 0; k < 3; ++k) {  // PNG samples are big-endian
                        const uint16_t s = Sample(p[k], covered);
                        row[6 * c + 2 * k] = static_cast<uint8_t>(s >> 8);
                        row[6 * c + 2 * k + 1] = static_cast<uint8_t>(s);
                      }
                    }
                  });
}

}  // namespace quarvel
