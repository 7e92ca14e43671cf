#include "session/compressor_data.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "fixtures.h"

namespace quarvel {
namespace {

std::vector<uint8_t> Le32(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  return {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Options whose blocks hold something, so that "no blocks" is seen.
CompressOptions Filled() {
  CompressOptions o;
  o.format = {9, 9};
  o.parms = {7};
  return o;
}

// What a read gives: whether both blocks were read, then the two blocks.
struct Blocks {
  bool both;
  std::vector<uint8_t> format, parms;
  bool operator==(const Blocks&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Blocks& b) {
  return os << (b.both ? "both, " : "not both, ") << b.format.size() << " + " << b.parms.size()
            << " bytes";
}

Blocks Read(const std::string& path) {
  CompressOptions o = Filled();
  const bool both = ReadCompressorData(path, o);
  return {both, o.format, o.parms};
}

TEST(CompressorData, BlocksRoundTripInTheirLayout) {
  test::ScratchDir dir;
  const std::string path = dir.Path("comprd2.dat");
  CompressOptions o;
  o.format = {1, 2, 3};
  o.parms = {'c', 'r', 'f', '=', '0'};
  ASSERT_TRUE(WriteCompressorData(path, o));
  EXPECT_EQ(test::ReadFile(path), Join({Le32(3), {1, 2, 3}, Le32(5), o.parms}));
  EXPECT_EQ(Read(path), (Blocks{true, o.format, o.parms}));

  ASSERT_TRUE(WriteCompressorData(path, CompressOptions{}));
  EXPECT_EQ(test::ReadFile(path), Join({Le32(0), Le32(0)}));
  EXPECT_EQ(Read(path), (Blocks{true, {}, {}})) << "two empty blocks are two blocks";
}

TEST(CompressorData, ShortOrDamagedFilesGiveTheBlocksThatFit) {
  test::ScratchDir dir;
  const Blocks none{false, {}, {}};
  EXPECT_EQ(Read(dir.Path("missing.dat")), none);
  EXPECT_EQ(Read(dir.Write("three.dat", {3, 0, 0})), none);
  EXPECT_EQ(Read(dir.Write("empty.dat", {})), none);
  EXPECT_EQ(Read(dir.Write("format.dat", Join({Le32(2), {4, 5}}))), (Blocks{false, {4, 5}, {}}))
      << "only cbFormat and the format block";
  EXPECT_EQ(Read(dir.Write("half.dat", Join({Le32(2), {4, 5}, {1, 0}}))),
            (Blocks{false, {4, 5}, {}}));
  EXPECT_EQ(Read(dir.Write("negative.dat", Join({Le32(-1), Le32(0)}))), none);
  EXPECT_EQ(Read(dir.Write("negative2.dat", Join({Le32(1), {6}, Le32(-5), {1, 2, 3, 4, 5}}))),
            (Blocks{false, {6}, {}}));
  EXPECT_EQ(Read(dir.Write("long.dat", Join({Le32(5), {1, 2, 3}}))), none);
  EXPECT_EQ(Read(dir.Write("long2.dat", Join({Le32(0), Le32(2), {8}}))), (Blocks{false, {}, {}}));
  EXPECT_EQ(Read(dir.Path("")), none) << "a folder";
}

// A size of 2 GB in a 12-byte file: read in a child that can map only 64 MiB more, so that an
// allocation of that size would end the child instead of the read giving nothing.
TEST(CompressorData, AHugeSizeIsDroppedWithoutAllocatingIt) {
  test::ScratchDir dir;
  const std::string path = dir.Write("huge.dat", Join({Le32(0x7FFFFFF0), {1, 2, 3, 4}, Le32(0)}));
  const std::string outcome = test::InChild(
      [&] {
        const Blocks b = Read(path);
        return std::string(b.both ? "both" : "not both") + " " +
               std::to_string(b.format.size() + b.parms.size());
      },
      uint64_t(64) << 20);
  EXPECT_EQ(outcome, "not both 0");
}

// A file far larger than any two blocks of settings is not read at all.
TEST(CompressorData, AnOversizedFileIsNotOurs) {
  test::ScratchDir dir;
  const std::string path = dir.Write("big.dat", Join({Le32(0), Le32(0)}));
  std::filesystem::resize_file(path, uint64_t(17) << 20);  // zeros after two empty blocks
  EXPECT_EQ(Read(path), (Blocks{false, {}, {}}));
}

TEST(CompressorData, AFileThatCannotBeWrittenIsReportedAndLeftAlone) {
  test::ScratchDir dir;
  const std::string folder = dir.Path("comprd2.dat");
  std::filesystem::create_directory(folder);
  EXPECT_FALSE(WriteCompressorData(folder, Filled()));
  EXPECT_TRUE(std::filesystem::is_empty(folder));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 1)
      << "no temporary file left";
}

// The six "Video" keys hold the options' numbers, the FourCC as the bits of a signed integer;
// the blocks go to the data file.
TEST(CompressOptions, VideoKeysAndDataFileHoldTheOptions) {
  test::ScratchDir dir;
  const std::string data = dir.Path("comprd2.dat");
  CompressOptions o;
  o.fccHandler = 0xE1C0FFEEu;  // above INT32_MAX
  o.dwKeyFrameEvery = 12;
  o.dwQuality = 7500;
  o.dwBytesPerSecond = 250000;
  o.dwFlags = 8;
  o.dwInterleaveEvery = 3;
  o.format = {1};
  o.parms = {'g', '=', '5'};
  VideoSettings video;
  video.FrameRate = 30;
  StoreCompressOptions(o, video, data);
  EXPECT_EQ(video.fccHandler, -507445266) << "the bits of 0xE1C0FFEE";
  EXPECT_EQ(video.dwKeyFrameEvery, 12);
  EXPECT_EQ(video.dwQuality, 7500);
  EXPECT_EQ(video.dwBytesPerSecond, 250000);
  EXPECT_EQ(video.dwFlags, 8);
  EXPECT_EQ(video.dwInterleaveEvery, 3);
  EXPECT_EQ(video.FrameRate, 30) << "only the compression keys change";

  // Through the settings file and back.
  SettingsFile file(dir.Path("Quarvel.cfg"));
  WriteVideoSettings(file, video, false);
  EXPECT_EQ(LoadCompressOptions(ReadVideoSettings(file), data), o);

  // Without the data file the keys still hold; the blocks are empty.
  CompressOptions keysOnly = o;
  keysOnly.format.clear();
  keysOnly.parms.clear();
  EXPECT_EQ(LoadCompressOptions(video, dir.Path("missing.dat")), keysOnly);

  // A data file that cannot be written is skipped: the keys are stored all the same.
  std::filesystem::create_directory(dir.Path("in-the-way"));
  VideoSettings other;
  StoreCompressOptions(o, other, dir.Path("in-the-way"));
  EXPECT_EQ(other.fccHandler, video.fccHandler);
  EXPECT_EQ(other.dwQuality, 7500);
}

}  // namespace
}  // namespace quarvel
