// The JPEG decoder: the about box's picture, pictures of known pixels made with libjpeg's
// encoder, and damaged or hostile data, which must give an error and never a crash or a huge
// allocation.
#include <gtest/gtest.h>

#include <jpeglib.h>
#include <cstdio>
#include <cstdlib>

#include "fixtures.h"
#include "ui/jpeg.h"

namespace quarvel {
namespace {

std::vector<uint8_t> AboutPicture() {
  return test::ReadFile(QUARVEL_ABOUT_PICTURE);
}

// A picture of soft colour gradients, which JPEG keeps closely.
RgbImage Gradients(int w, int h) {
  RgbImage image{w, h, std::vector<uint8_t>(size_t(w) * size_t(h) * 3)};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = image.Pixel(x, y);
      p[0] = uint8_t(x * 255 / (w - 1));
      p[1] = uint8_t(y * 255 / (h - 1));
      p[2] = uint8_t(128 + (x - y) / 4);
    }
  }
  return image;
}

struct Encoding {
  J_COLOR_SPACE space = JCS_RGB;
  int components = 3;
  bool progressive = false;
};

// Encodes `pixels` (rows of `components` bytes per pixel) at quality 100 without colour
// subsampling.
std::vector<uint8_t> Encode(int w, int h, const std::vector<uint8_t>& pixels, Encoding e) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = JDIMENSION(w);
  cinfo.image_height = JDIMENSION(h);
  cinfo.input_components = e.components;
  cinfo.in_color_space = e.space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 100, TRUE);
  for (int c = 0; c < cinfo.num_components; ++c)
    cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
  if (e.progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(pixels.data()) +
                   size_t(cinfo.next_scanline) * size_t(w) * size_t(e.components);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// The largest difference of any byte between two pictures of the same size.
int MaxDifference(const RgbImage& a, const RgbImage& b) {
  int worst = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i)
    worst = std::max(worst, std::abs(int(a.pixels[i]) - int(b.pixels[i])));
  return worst;
}

// The offset of the first frame header (SOF0 to SOF2) of a JPEG file.
size_t FrameHeader(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] >= 0xC0 && jpeg[i + 1] <= 0xC2) return i;
  return 0;
}

TEST(Jpeg, TheAboutPictureDecodesInColour) {
  const JpegResult r = DecodeJpeg(AboutPicture());
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.image.width, 360);
  EXPECT_EQ(r.image.height, 270);
  ASSERT_EQ(r.image.pixels.size(), 360u * 270 * 3);
  // The OK button is drawn blue, and the middle of the scroller's panel is dark.
  const uint8_t* ok = r.image.Pixel(290, 240);
  EXPECT_GT(ok[2], ok[0] + 40);
  const uint8_t* panel = r.image.Pixel(180, 170);
  EXPECT_LT(panel[0] + panel[1] + panel[2], 120);
}

TEST(Jpeg, KnownPixelsComeBackInEveryEncoding) {
  const RgbImage colour = Gradients(67, 45);  // not a whole number of 8 x 8 blocks
  for (bool progressive : {false, true}) {
    const JpegResult r = DecodeJpeg(Encode(67, 45, colour.pixels, {.progressive = progressive}));
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.image.width, 67);
    ASSERT_EQ(r.image.height, 45);
    EXPECT_LE(MaxDifference(r.image, colour), 6) << "progressive " << progressive;
  }

  // A grey picture comes out as RGB with three equal channels.
  std::vector<uint8_t> grey(40 * 30);
  for (size_t i = 0; i < grey.size(); ++i)
    grey[i] = uint8_t(i % 40 * 6);
  const JpegResult g = DecodeJpeg(Encode(40, 30, grey, {JCS_GRAYSCALE, 1}));
  ASSERT_TRUE(g.ok()) << g.error;
  for (int i = 0; i < 40 * 30; ++i) {
    const uint8_t* p = g.image.Pixel(i % 40, i / 40);
    EXPECT_EQ(p[0], p[1]);
    EXPECT_EQ(p[1], p[2]);
    EXPECT_NEAR(p[0], grey[size_t(i)], 3) << i;
  }
}

TEST(Jpeg, DamagedDataIsAnError) {
  const std::vector<uint8_t> picture = AboutPicture();
  ASSERT_GT(picture.size(), 1000u);
  auto refused = [](const std::vector<uint8_t>& data, const char* what) {
    const JpegResult r = DecodeJpeg(data);
    EXPECT_FALSE(r.ok()) << what;
    EXPECT_TRUE(r.image.pixels.empty()) << what;
    EXPECT_EQ(r.image.width, 0) << what;
  };
  refused({}, "empty");
  refused({'B', 'M', 0, 0, 0, 0}, "not a JPEG");
  // Cut anywhere: in the headers, in the middle of the pixels, just before the end marker.
  for (size_t size : {size_t(2), size_t(20), size_t(200), picture.size() / 2, picture.size() - 2}) {
    refused(std::vector<uint8_t>(picture.begin(), picture.begin() + long(size)),
            ("cut at " + std::to_string(size)).c_str());
  }
  // A frame header with a bad length.
  std::vector<uint8_t> bad = picture;
  const size_t sof = FrameHeader(bad);
  ASSERT_NE(sof, 0u);
  bad[sof + 2] = 0xFF;
  refused(bad, "frame header length");
}

TEST(Jpeg, PicturesBeyondTheLimitsAreRefusedBeforeTheirPixelsAreTaken) {
  std::vector<uint8_t> huge = AboutPicture();
  const size_t sof = FrameHeader(huge);
  ASSERT_NE(sof, 0u);
  // 65000 x 65000 pixels would be 12 GB of RGB: refused with little memory to spare.
  for (size_t at : {sof + 5, sof + 7}) {
    huge[at] = 0xFD;
    huge[at + 1] = 0xE8;
  }
  EXPECT_EQ(test::InChild(
                [&] {
                  const JpegResult r = DecodeJpeg(huge);
                  return r.ok() ? std::string("decoded") : r.error;
                },
                64 << 20),
            "The JPEG picture is too large");

  // Within the default limits but beyond smaller ones.
  const RgbImage colour = Gradients(64, 48);
  const std::vector<uint8_t> progressive = Encode(64, 48, colour.pixels, {.progressive = true});
  EXPECT_FALSE(DecodeJpeg(progressive, {.maxWidth = 63}).ok());
  EXPECT_FALSE(DecodeJpeg(progressive, {.maxHeight = 47}).ok());
  EXPECT_TRUE(DecodeJpeg(progressive, {.maxWidth = 64, .maxHeight = 48}).ok());
  // A progressive colour picture has 10 scans.
  EXPECT_EQ(DecodeJpeg(progressive, {.maxScans = 5}).error, "The JPEG picture has too many scans");
  EXPECT_TRUE(DecodeJpeg(progressive, {.maxScans = 10}).ok());

  // Four channels (CMYK) are neither grey nor colour.
  std::vector<uint8_t> cmyk(16 * 16 * 4, 100);
  EXPECT_EQ(DecodeJpeg(Encode(16, 16, cmyk, {JCS_CMYK, 4})).error,
            "The JPEG picture is neither grey nor colour");
}

}  // namespace
}  // namespace quarvel
