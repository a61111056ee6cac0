// Pixels read back from the screen or decoded from the program's pictures.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace tavro::test {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// True when every channel differs by at most the tolerance.
inline bool Near(Rgb a, Rgb b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

std::string ToString(Rgb c);  // "#rrggbb"
inline std::ostream& operator<<(std::ostream& out, Rgb c) { return out << ToString(c); }

class RgbImage {
 public:
  RgbImage() = default;
  RgbImage(int width, int height) : width_(width), height_(height), pixels_(std::size_t(width) * height) {}

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return pixels_.empty(); }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  // Throws std::out_of_range outside the image.
  Rgb Pixel(int x, int y) const;
  void SetPixel(int x, int y, Rgb c);
  // The part inside the rectangle (clipped to the image).
  RgbImage Crop(int x, int y, int width, int height) const;

  // Binary PPM (P6), readable by any image viewer; for looking at failures.
  bool SavePpm(const std::filesystem::path& path) const;

 private:
  int width_ = 0, height_ = 0;
  std::vector<Rgb> pixels_;
};

// A picture with its transparency: pixels where Opaque() is false show what lies behind.
struct DecodedPicture {
  RgbImage image;
  std::vector<bool> opaque;
  bool Opaque(int x, int y) const { return opaque[std::size_t(y) * image.Width() + x]; }
};

// Decodes the first frame of a GIF file (87a or 89a, with its transparent colour), placed on
// its logical screen. Throws std::runtime_error for damaged files.
DecodedPicture DecodeGif(const std::filesystem::path& path);

}  // namespace tavro::test
