// An OpenEXR output stream into memory, for the EXR files the program makes in memory.
#pragma once

#include <ImfIO.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace quarvel {

// An output stream into memory. OpenEXR seeks back to fill in the table of line offsets once
// the lines are written, so a write may land anywhere up to the end.
class ExrMemoryStream : public Imf::OStream {
 public:
  ExrMemoryStream() : Imf::OStream("memory") {}

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

}  // namespace quarvel
