// Picture loading: format sniffing, dimension limits, then GdkPixbuf.
#include "picture.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <giomm/resource.h>

#include <cstdint>
#include <optional>

#include "platform/errors.h"
#include "platform/files.h"

namespace tavro::platform::gtk {
namespace {

[[noreturn]] void Invalid(const std::string& what, const std::string& why) {
  throw RuntimeError(kInvalidPicture, "Invalid picture: " + what + " (" + why + ")");
}

std::uint16_t Le16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                    (static_cast<unsigned char>(b[at + 1]) << 8));
}

bool TooLarge(long width, long height) {
  return width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide;
}

// Walks the GIF block structure far enough to see every size it claims.
void CheckGifSizes(std::string_view b, const std::string& what) {
  if (b.size() < 13) Invalid(what, "truncated header");
  if (TooLarge(Le16(b, 6), Le16(b, 8))) Invalid(what, "image size out of range");
  const std::uint64_t screenPixels = std::uint64_t{Le16(b, 6)} * Le16(b, 8);
  std::uint64_t framePixels = 0;
  std::size_t at = 13;
  const auto flags = static_cast<unsigned char>(b[10]);
  if (flags & 0x80) at += std::size_t{3} << ((flags & 7) + 1);
  auto skipSubBlocks = [&] {
    while (at < b.size()) {
      const auto len = static_cast<unsigned char>(b[at]);
      at += 1u + len;
      if (len == 0) return true;
    }
    return false;
  };
  bool sawImage = false;
  while (at < b.size()) {
    const auto tag = static_cast<unsigned char>(b[at]);
    if (tag == 0x3B) break;  // trailer
    if (tag == 0x21) {       // extension
      at += 2;
      if (!skipSubBlocks()) break;
    } else if (tag == 0x2C) {  // image descriptor
      if (at + 10 > b.size()) Invalid(what, "truncated image descriptor");
      if (TooLarge(Le16(b, at + 5), Le16(b, at + 7))) Invalid(what, "frame size out of range");
      framePixels += screenPixels;
      if (framePixels > kMaxPictureFramePixels) Invalid(what, "too many frames");
      const auto imageFlags = static_cast<unsigned char>(b[at + 9]);
      at += 10;
      if (imageFlags & 0x80) at += std::size_t{3} << ((imageFlags & 7) + 1);
      at += 1;  // LZW minimum code size
      if (!skipSubBlocks()) Invalid(what, "truncated image data");
      sawImage = true;
    } else {
      Invalid(what, "damaged data");
    }
  }
  if (!sawImage) Invalid(what, "no image data");
}

struct LoaderDeleter {
  void operator()(GdkPixbufLoader* loader) const {
    gdk_pixbuf_loader_close(loader, nullptr);
    g_object_unref(loader);
  }
};

}  // namespace

std::shared_ptr<PixbufPicture> DecodePicture(std::string_view bytes, const std::string& what) {
  const auto starts = [&](std::string_view magic) { return bytes.substr(0, magic.size()) == magic; };
  const char* type = nullptr;
  if (starts("GIF87a") || starts("GIF89a")) {
    type = "gif";
    CheckGifSizes(bytes, what);
  } else if (bytes.size() >= 6 && starts(std::string_view("\0\0\1\0", 4))) {
    type = "ico";  // sizes are a byte each: never large
  } else if (starts("BM")) {
    type = "bmp";
  } else if (starts("\xFF\xD8\xFF")) {
    type = "jpeg";
  } else {
    Invalid(what, bytes.empty() ? "empty file" : "not a GIF, ICO, BMP or JPEG picture");
  }

  GError* error = nullptr;
  std::unique_ptr<GdkPixbufLoader, LoaderDeleter> loader(gdk_pixbuf_loader_new_with_type(type, &error));
  if (!loader) {
    const std::string why = error ? error->message : "no decoder";
    g_clear_error(&error);
    Invalid(what, why);
  }
  // Formats whose sizes were not checked above are stopped as soon as the decoder reads them.
  bool refused = false;
  g_signal_connect(loader.get(), "size-prepared",
                   G_CALLBACK(+[](GdkPixbufLoader* l, int w, int h, gpointer data) {
                     if (TooLarge(w, h)) {
                       *static_cast<bool*>(data) = true;
                       gdk_pixbuf_loader_set_size(l, 1, 1);
                     }
                   }),
                   &refused);
  const bool wrote = gdk_pixbuf_loader_write(loader.get(), reinterpret_cast<const guchar*>(bytes.data()),
                                             bytes.size(), &error);
  const bool closed = wrote && gdk_pixbuf_loader_close(loader.get(), &error);
  if (refused) {
    g_clear_error(&error);
    Invalid(what, "image size out of range");
  }
  if (!wrote || !closed) {
    const std::string why = error ? error->message : "damaged data";
    g_clear_error(&error);
    Invalid(what, why);
  }
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());
  if (!pixbuf) Invalid(what, "no image data");
  return std::make_shared<PixbufPicture>(Glib::wrap(pixbuf, true));
}

namespace {

// A picture file's bytes, within the largest a picture file may be.
std::string ReadPictureFile(const std::string& fileName) {
  std::optional<std::string> bytes = ReadRegularFile(fileName, kMaxPictureFileBytes);
  if (!bytes) Invalid(DescribeLocation(fileName), "file too large");
  return std::move(*bytes);
}

}  // namespace

std::shared_ptr<PixbufPicture> LoadPictureFile(const std::string& fileName) {
  return DecodePicture(ReadPictureFile(fileName), DescribeLocation(fileName));
}

std::shared_ptr<PixbufPicture> PictureFileCache::Load(const std::string& fileName) {
  std::string bytes = ReadPictureFile(fileName);
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->bytes == bytes) {
      entries_.splice(entries_.begin(), entries_, it);
      return it->picture;
    }
  }
  auto picture = DecodePicture(bytes, DescribeLocation(fileName));
  entries_.push_front(Entry{std::move(bytes), picture});
  // The latest always stays; older ones go past the count or once their pixels pass the bound.
  std::size_t count = 0, pixelBytes = 0;
  for (auto it = entries_.begin(); it != entries_.end();) {
    const auto& pixbuf = it->picture->Pixbuf();
    const std::size_t size = pixbuf ? pixbuf->get_byte_length() : 0;
    if (it != entries_.begin() && (count >= kMaxEntries || pixelBytes + size > kMaxPixelBytes)) {
      it = entries_.erase(it);
      continue;
    }
    ++count;
    pixelBytes += size;
    ++it;
  }
  return picture;
}

std::string DoubleDensityPath(const std::string& resourcePath) {
  const std::size_t slash = resourcePath.rfind('/');
  const std::size_t dot = resourcePath.rfind('.');
  const std::size_t at = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? resourcePath.size() : dot;
  return resourcePath.substr(0, at) + "@2x" + resourcePath.substr(at);
}

namespace {

struct BytesUnref {
  void operator()(GBytes* bytes) const { g_bytes_unref(bytes); }
};
using ResourceBytes = std::unique_ptr<GBytes, BytesUnref>;

ResourceBytes LookUpResource(const std::string& resourcePath) {
  return ResourceBytes(g_resources_lookup_data(resourcePath.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr));
}

std::shared_ptr<PixbufPicture> DecodeResource(const ResourceBytes& data, const std::string& resourcePath) {
  gsize size = 0;
  const auto* bytes = static_cast<const char*>(g_bytes_get_data(data.get(), &size));
  return DecodePicture(std::string_view(bytes, size), "resource " + resourcePath);
}

}  // namespace

std::shared_ptr<PixbufPicture> LoadPictureResource(const std::string& resourcePath) {
  const ResourceBytes data = LookUpResource(resourcePath);
  if (!data) throw RuntimeError(kFileNotFound, "File not found: resource " + resourcePath);
  auto picture = DecodeResource(data, resourcePath);
  const std::string doublePath = DoubleDensityPath(resourcePath);
  const ResourceBytes doubleData = LookUpResource(doublePath);
  if (!doubleData) return picture;
  // A copy of another size would not draw the same picture: the build's own tests keep them paired.
  auto doubled = DecodeResource(doubleData, doublePath);
  if (doubled->PixelWidth() != 2 * picture->PixelWidth() || doubled->PixelHeight() != 2 * picture->PixelHeight())
    return picture;
  return std::make_shared<PixbufPicture>(picture->Pixbuf(), doubled->Pixbuf());
}

}  // namespace tavro::platform::gtk
