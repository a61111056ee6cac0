#include "image.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "process.h"

namespace tavro::test {

std::string ToString(Rgb c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
  return text;
}

Rgb RgbImage::Pixel(int x, int y) const {
  if (!Contains(x, y))
    throw std::out_of_range("pixel (" + std::to_string(x) + "," + std::to_string(y) + ") outside " +
                            std::to_string(width_) + "x" + std::to_string(height_));
  return pixels_[std::size_t(y) * width_ + x];
}

void RgbImage::SetPixel(int x, int y, Rgb c) {
  if (!Contains(x, y)) throw std::out_of_range("pixel outside the image");
  pixels_[std::size_t(y) * width_ + x] = c;
}

RgbImage RgbImage::Crop(int x, int y, int width, int height) const {
  const int x0 = std::max(0, x), y0 = std::max(0, y);
  const int x1 = std::min(width_, x + width), y1 = std::min(height_, y + height);
  RgbImage out(std::max(0, x1 - x0), std::max(0, y1 - y0));
  for (int row = y0; row < y1; ++row)
    for (int col = x0; col < x1; ++col) out.SetPixel(col - x0, row - y0, Pixel(col, row));
  return out;
}

bool RgbImage::SavePpm(const std::filesystem::path& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "P6\n" << width_ << " " << height_ << "\n255\n";
  for (const Rgb& p : pixels_) out.put(static_cast<char>(p.r)).put(static_cast<char>(p.g)).put(static_cast<char>(p.b));
  return static_cast<bool>(out);
}

namespace {

[[noreturn]] void Damaged(const std::filesystem::path& path, const char* why) {
  throw std::runtime_error("GIF " + path.string() + ": " + why);
}

// Variable-width LZW codes, least significant bit first, as GIF packs them.
std::vector<std::uint8_t> LzwDecode(const std::string& data, int minCodeSize, std::size_t expected) {
  const int clear = 1 << minCodeSize, end = clear + 1;
  std::vector<std::uint16_t> prefix(4096);
  std::vector<std::uint8_t> suffix(4096), stack;
  for (int i = 0; i < clear; ++i) suffix[i] = static_cast<std::uint8_t>(i);
  std::vector<std::uint8_t> out;
  out.reserve(expected);
  int codeSize = minCodeSize + 1, next = clear + 2, old = -1;
  std::uint8_t first = 0;
  std::size_t bitPos = 0;
  const std::size_t bits = data.size() * 8;
  while (bitPos + codeSize <= bits && out.size() < expected) {
    int code = 0;
    for (int i = 0; i < codeSize; ++i, ++bitPos)
      code |= ((static_cast<unsigned char>(data[bitPos / 8]) >> (bitPos % 8)) & 1) << i;
    if (code == clear) {
      codeSize = minCodeSize + 1;
      next = clear + 2;
      old = -1;
      continue;
    }
    if (code == end) break;
    if (old < 0) {
      if (code >= clear) break;  // damaged: a string code before any string
      first = suffix[code];
      out.push_back(first);
      old = code;
      continue;
    }
    const int in = code;
    stack.clear();
    if (code >= next) {  // the code being defined right now: old's string plus its first byte
      stack.push_back(first);
      code = old;
    }
    while (code >= clear) {
      stack.push_back(suffix[code]);
      code = prefix[code];
    }
    first = suffix[code];
    stack.push_back(first);
    out.insert(out.end(), stack.rbegin(), stack.rend());
    if (next < 4096) {
      prefix[next] = static_cast<std::uint16_t>(old);
      suffix[next] = first;
      ++next;
      if (next == (1 << codeSize) && codeSize < 12) ++codeSize;
    }
    old = in;
  }
  out.resize(expected, 0);
  return out;
}

}  // namespace

DecodedPicture DecodeGif(const std::filesystem::path& path) {
  const std::string b = ReadFile(path);
  std::size_t at = 0;
  auto need = [&](std::size_t n) {
    if (at + n > b.size()) Damaged(path, "truncated");
  };
  auto u8 = [&] { need(1); return static_cast<unsigned char>(b[at++]); };
  auto u16 = [&] { const int lo = u8(); return lo | (u8() << 8); };
  auto readTable = [&](int flags) {
    std::vector<Rgb> table(std::size_t(1) << ((flags & 7) + 1));
    for (auto& c : table) c = Rgb{u8(), u8(), u8()};
    return table;
  };
  auto subBlocks = [&] {
    std::string data;
    for (int len; (len = u8()) != 0; at += len) {
      need(len);
      data.append(b, at, len);
    }
    return data;
  };

  need(13);
  if (b.compare(0, 6, "GIF87a") != 0 && b.compare(0, 6, "GIF89a") != 0) Damaged(path, "not a GIF");
  at = 6;
  const int width = u16(), height = u16(), flags = u8();
  at += 2;  // background colour index, pixel ratio
  std::vector<Rgb> global;
  if (flags & 0x80) global = readTable(flags);

  DecodedPicture pic{RgbImage(width, height), std::vector<bool>(std::size_t(width) * height, false)};
  int transparent = -1;
  for (;;) {
    const int tag = u8();
    if (tag == 0x3B) break;
    if (tag == 0x21) {
      const int label = u8();
      const std::string data = subBlocks();
      if (label == 0xF9 && data.size() >= 4)
        transparent = (data[0] & 1) ? static_cast<unsigned char>(data[3]) : -1;
      continue;
    }
    if (tag != 0x2C) Damaged(path, "unknown block");
    const int left = u16(), top = u16(), w = u16(), h = u16(), imageFlags = u8();
    const std::vector<Rgb> local = (imageFlags & 0x80) ? readTable(imageFlags) : global;
    const int minCodeSize = u8();
    if (minCodeSize < 2 || minCodeSize > 8) Damaged(path, "bad code size");
    const auto indices = LzwDecode(subBlocks(), minCodeSize, std::size_t(w) * h);
    // Interlaced frames store rows in four passes.
    std::vector<int> rows;
    if (imageFlags & 0x40) {
      for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
        for (int r = start; r < h; r += step) rows.push_back(r);
    } else {
      for (int r = 0; r < h; ++r) rows.push_back(r);
    }
    for (int i = 0; i < h; ++i) {
      for (int col = 0; col < w; ++col) {
        const int x = left + col, y = top + rows[i];
        const int index = indices[std::size_t(i) * w + col];
        if (!pic.image.Contains(x, y) || index == transparent || index >= int(local.size())) continue;
        pic.image.SetPixel(x, y, local[index]);
        pic.opaque[std::size_t(y) * width + x] = true;
      }
    }
    break;  // the first frame is the picture
  }
  return pic;
}

}  // namespace tavro::test
