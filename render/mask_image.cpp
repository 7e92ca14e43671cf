#include "mask_image.h"

#include "save_file.h"

#include <sys/mman.h>

#include <cstring>
#include <new>
#include <stdexcept>

namespace quarvel {

namespace {

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

void MaskImage::SetSize(int w, int h) {
  if (w < 0 || h < 0) throw std::invalid_argument("negative mask size");
  pixels_.reset();
  width_ = height_ = 0;
  const size_t bytes = size_t(Stride(w)) * size_t(h);
  if (bytes > 0) {
    // calloc hands out fresh zero pages for big blocks: clearing costs nothing up front. Large
    // pictures ask for huge pages, so that drawing them takes few page faults.
    pixels_.reset(static_cast<uint8_t*>(std::calloc(bytes, 1)));
    if (!pixels_) throw std::bad_alloc();
    constexpr size_t kHugePage = size_t(2) << 20;
    if (bytes >= 4 * kHugePage) {
      const auto start =
          (reinterpret_cast<uintptr_t>(pixels_.get()) + kHugePage - 1) & ~(kHugePage - 1);
      const auto end = (reinterpret_cast<uintptr_t>(pixels_.get()) + bytes) & ~(kHugePage - 1);
      if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
  }
  width_ = w;
  height_ = h;
}

void MaskImage::CopyFrom(const MaskImage& other) {
  if (width_ != other.width_ || height_ != other.height_) SetSize(other.width_, other.height_);
  const auto from = other.Pixels();
  if (!from.empty()) std::memcpy(pixels_.get(), from.data(), from.size());
}

uint8_t* MaskImage::Row(int r) {
  return const_cast<uint8_t*>(static_cast<const MaskImage*>(this)->Row(r));
}

const uint8_t* MaskImage::Row(int r) const {
  if (r < 0 || r >= height_) throw std::out_of_range("mask row out of range");
  return pixels_.get() + size_t(height_ - 1 - r) * size_t(Stride());
}

std::span<const uint8_t> MaskImage::Pixels() const {
  return {pixels_.get(), size_t(Stride()) * size_t(height_)};
}

std::array<uint8_t, kBitmapInfoSize> MaskImage::BitmapInfo() const {
  std::array<uint8_t, kBitmapInfoSize> h{};
  Put32(&h[0], 40);
  Put32(&h[4], static_cast<uint32_t>(width_));
  Put32(&h[8], static_cast<uint32_t>(height_));
  Put16(&h[12], 1);
  Put16(&h[14], 8);
  Put32(&h[20], static_cast<uint32_t>(Pixels().size()));
  for (int i = 0; i < 256; ++i) {
    uint8_t* e = &h[40 + 4 * i];
    e[0] = e[1] = e[2] = static_cast<uint8_t>(i);
  }
  return h;
}

ErrorText MaskImage::SaveToFile(const std::string& path, uint32_t pixelsPerMetre,
                                const OutFolder& folder) const {
  std::array<uint8_t, kBmpHeaderSize> header{};
  header[0] = 'B';
  header[1] = 'M';
  Put32(&header[2], static_cast<uint32_t>(kBmpHeaderSize + Pixels().size()));
  Put32(&header[10], kBmpHeaderSize);
  const auto info = BitmapInfo();
  std::copy(info.begin(), info.end(), header.begin() + 14);
  Put32(&header[14 + 24], pixelsPerMetre);
  Put32(&header[14 + 28], pixelsPerMetre);
  const bool empty = width_ == 0 || height_ == 0;
  return SaveFileBytes(folder, path, {empty ? std::span<const uint8_t>() : header, Pixels()});
}

}  // namespace quarvel
