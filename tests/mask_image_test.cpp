#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "fixtures.h"
#include "render/mask_image.h"

namespace quarvel {
namespace {

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(MaskImage, StrideRoundsTheWidthUpToFourBytes) {
  EXPECT_EQ(MaskImage::Stride(640), 640);
  EXPECT_EQ(MaskImage::Stride(641), 644);
  EXPECT_EQ(MaskImage::Stride(101), 104);
  EXPECT_EQ(MaskImage::Stride(0), 0);
}

TEST(MaskImage, BmpLayout) {
  test::ScratchDir dir;
  MaskImage mask;
  mask.SetSize(641, 480);
  mask.Row(0)[0] = 200;    // top-left pixel: the last row stored
  mask.Row(479)[1] = 100;  // bottom row: the first row stored
  ASSERT_TRUE(mask.SaveToFile(dir.Path("m.bmp")).empty());
  const auto b = test::ReadFile(dir.Path("m.bmp"));
  ASSERT_EQ(b.size(), 310198u);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(U32At(b, 2), 310198u);
  EXPECT_EQ(U32At(b, 10), 1078u);
  EXPECT_EQ(U32At(b, 14), 40u);
  EXPECT_EQ(U32At(b, 18), 641u);
  EXPECT_EQ(U32At(b, 22), 480u);
  EXPECT_EQ(b[26] | b[27] << 8, 1);
  EXPECT_EQ(b[28] | b[29] << 8, 8);
  EXPECT_EQ(U32At(b, 30), 0u);
  EXPECT_EQ(U32At(b, 34), 644u * 480);
  for (size_t at : {38, 42, 46, 50})
    EXPECT_EQ(U32At(b, at), 0u);
  for (int i = 0; i < 256; ++i)
    EXPECT_EQ(U32At(b, 54 + 4 * i), uint32_t(i) * 0x010101);
  EXPECT_EQ(b[1078 + 1], 100);
  EXPECT_EQ(b[1078 + 479 * 644], 200);
  EXPECT_EQ(b[1078 + 641], 0) << "row ends are written as 0";

  MaskImage vga;
  vga.SetSize(640, 480);
  ASSERT_TRUE(vga.SaveToFile(dir.Path("vga.bmp")).empty());
  EXPECT_EQ(std::filesystem::file_size(dir.Path("vga.bmp")), 308278u);
}

TEST(MaskImage, EmptyImageWritesAnEmptyFileAndRowsAreChecked) {
  test::ScratchDir dir;
  MaskImage mask;
  ASSERT_TRUE(mask.SaveToFile(dir.Path("empty.bmp")).empty());
  EXPECT_EQ(std::filesystem::file_size(dir.Path("empty.bmp")), 0u);
  mask.SetSize(100, 2);
  EXPECT_THROW(mask.Row(2), std::out_of_range);
  EXPECT_THROW(mask.Row(-1), std::out_of_range);
}

TEST(MaskImage, FailedSaveReportsAndLeavesNothingBehind) {
  test::ScratchDir dir;
  MaskImage mask;
  mask.SetSize(100, 100);
  const std::string path = dir.Path("no-such-folder/m.bmp");
  const ErrorText error = mask.SaveToFile(path);
  EXPECT_EQ(error.Message({}), "Cannot create file " + path);
  EXPECT_EQ(error.reason, "No such file or directory");

  // Replacing a file keeps a whole file at the path and leaves no temporary beside it.
  const std::string target = dir.Write("m.bmp", {1, 2, 3});
  ASSERT_TRUE(mask.SaveToFile(target).empty());
  EXPECT_EQ(std::filesystem::file_size(target), 1078u + 100 * 100);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 1);
}

}  // namespace
}  // namespace quarvel
