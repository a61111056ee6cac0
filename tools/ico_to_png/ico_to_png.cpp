// tavro-ico-to-png: writes the image of one size from a Windows icon file as a PNG, so the
// desktop gets the program's own icon at each size the icon file carries.
//
//   tavro-ico-to-png ICON.ico SIZE OUT.png
//
// Of the images of that size, the one with the most colours wins. It is cut out into an icon
// file of its own and decoded by GdkPixbuf's ICO loader, which would otherwise choose by itself.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace {

constexpr std::size_t kHeaderBytes = 6;
constexpr std::size_t kEntryBytes = 16;

unsigned Le16(const std::string& b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}

std::uint32_t Le32(const std::string& b, std::size_t at) {
  return Le16(b, at) | (static_cast<std::uint32_t>(Le16(b, at + 2)) << 16);
}

void PutLe32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "tavro-ico-to-png: %s\n", message.c_str());
  return 1;
}

struct Entry {
  std::size_t index = 0;
  std::uint32_t offset = 0, bytes = 0;
  unsigned depth = 0;
};

// The bits per pixel an image really has: its bitmap header says so (the directory often says
// 0); an embedded PNG counts as full colour.
unsigned DepthOf(const std::string& ico, std::uint32_t offset, std::uint32_t bytes) {
  if (bytes >= 8 && ico.compare(offset, 8, "\x89PNG\r\n\x1A\n") == 0) return 32;
  if (bytes >= 16) return Le16(ico, offset + 14);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return Fail("usage: tavro-ico-to-png ICON.ico SIZE OUT.png");
  const int size = std::atoi(argv[2]);
  if (size < 1 || size > 256) return Fail(std::string("bad size ") + argv[2]);

  std::ifstream in(argv[1], std::ios::binary);
  const std::string ico((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.eof() && !in) return Fail(std::string("cannot read ") + argv[1]);
  if (ico.size() < kHeaderBytes || Le16(ico, 0) != 0 || Le16(ico, 2) != 1)
    return Fail(std::string(argv[1]) + " is not an icon file");
  const std::size_t count = Le16(ico, 4);
  if (ico.size() < kHeaderBytes + count * kEntryBytes) return Fail(std::string(argv[1]) + " is truncated");

  std::optional<Entry> best;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = kHeaderBytes + i * kEntryBytes;
    const int width = static_cast<unsigned char>(ico[at]) ? static_cast<unsigned char>(ico[at]) : 256;
    const int height = static_cast<unsigned char>(ico[at + 1]) ? static_cast<unsigned char>(ico[at + 1]) : 256;
    const std::uint32_t bytes = Le32(ico, at + 8), offset = Le32(ico, at + 12);
    if (width != size || height != size) continue;
    if (offset > ico.size() || bytes > ico.size() - offset) return Fail("an image lies outside the file");
    const Entry e{i, offset, bytes, DepthOf(ico, offset, bytes)};
    if (!best || e.depth > best->depth) best = e;
  }
  if (!best) return Fail(std::string(argv[1]) + " has no " + argv[2] + "x" + argv[2] + " image");

  // An icon file of that one image: the header, its directory entry, then its data.
  std::string one = ico.substr(0, kHeaderBytes) + ico.substr(kHeaderBytes + best->index * kEntryBytes, kEntryBytes);
  one[4] = 1;
  one[5] = 0;
  PutLe32(one, kHeaderBytes + 12, static_cast<std::uint32_t>(kHeaderBytes + kEntryBytes));
  one += ico.substr(best->offset, best->bytes);

  GError* error = nullptr;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("ico", &error);
  if (!loader) return Fail(error ? error->message : "no ICO loader");
  const bool ok = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(one.data()), one.size(), &error) &&
                  gdk_pixbuf_loader_close(loader, &error);
  GdkPixbuf* pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (!pixbuf) {
    const std::string why = error ? error->message : "no image";
    g_object_unref(loader);
    return Fail("cannot decode the " + std::to_string(size) + " px image: " + why);
  }
  if (gdk_pixbuf_get_width(pixbuf) != size || gdk_pixbuf_get_height(pixbuf) != size) {
    g_object_unref(loader);
    return Fail("the decoded image is not " + std::to_string(size) + " px");
  }
  const bool saved = gdk_pixbuf_save(pixbuf, argv[3], "png", &error, nullptr);
  g_object_unref(loader);
  if (!saved) return Fail(std::string("cannot write ") + argv[3] + ": " + (error ? error->message : "?"));
  return 0;
}
