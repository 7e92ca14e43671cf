#include "exr_file.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>

#include <stdexcept>

#include "exr_stream.h"

namespace quarvel {

std::vector<uint8_t> ExrBytes(const DepthImage& depth) {
  if (depth.depth.size() != size_t(depth.width) * size_t(depth.height))
    throw std::invalid_argument("depth image of the wrong size");
  Imf::Header header(depth.width, depth.height);
  header.channels().insert("Z", Imf::Channel(Imf::FLOAT));
  header.compression() = Imf::ZIP_COMPRESSION;
  ExrMemoryStream stream;
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
