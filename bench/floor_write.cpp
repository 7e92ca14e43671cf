// The physical floor of a 10000 x 10000 mask: allocate and clear a 100 MB picture and write it as
// an 8-bit BMP, nothing else. bench/compare times quarvel-render against it.
// Usage: floor_write OUT.bmp
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  constexpr uint32_t kSide = 10000, kPixels = kSide * kSide;
  auto* pixels = static_cast<uint8_t*>(std::malloc(kPixels));
  if (!pixels) return 1;
  std::memset(pixels, 0, kPixels);
  uint8_t header[1078] = {'B', 'M'};
  auto put32 = [&](int at, uint32_t v) { std::memcpy(header + at, &v, 4); };
  put32(2, 1078 + kPixels);
  put32(10, 1078);
  put32(14, 40);
  put32(18, kSide);
  put32(22, kSide);
  header[26] = 1;
  header[28] = 8;
  put32(34, kPixels);
  for (int i = 0; i < 256; ++i)
    std::memset(header + 54 + 4 * i, i, 3);
  FILE* f = std::fopen(argv[1], "wb");
  if (!f) return 4;
  const bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header &&
                  std::fwrite(pixels, 1, kPixels, f) == kPixels;
  std::free(pixels);
  return std::fclose(f) == 0 && ok ? 0 : 4;
}
