// Pictures decoded through GdkPixbuf, with the checks that keep hostile files harmless.
#pragma once

#include <gdkmm/pixbuf.h>

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>

#include "platform/forms.h"

namespace tavro::platform::gtk {

// A picture, and for the stored design's pictures the same drawn at twice the size for screens of
// twice the density. Its size is the picture's own.
class PixbufPicture : public Picture {
 public:
  explicit PixbufPicture(Glib::RefPtr<Gdk::Pixbuf> pixbuf, Glib::RefPtr<Gdk::Pixbuf> doubleDensity = {})
      : pixbuf_(std::move(pixbuf)), doubleDensity_(std::move(doubleDensity)) {}
  int PixelWidth() const override { return pixbuf_ ? pixbuf_->get_width() : 0; }
  int PixelHeight() const override { return pixbuf_ ? pixbuf_->get_height() : 0; }
  const Glib::RefPtr<Gdk::Pixbuf>& Pixbuf() const { return pixbuf_; }
  // Empty for pictures that have none (those read from files).
  const Glib::RefPtr<Gdk::Pixbuf>& DoubleDensity() const { return doubleDensity_; }

 private:
  Glib::RefPtr<Gdk::Pixbuf> pixbuf_;
  Glib::RefPtr<Gdk::Pixbuf> doubleDensity_;
};

// Far beyond any skin; a file that claims more is refused before anything is decoded.
constexpr int kMaxPictureSide = 4096;
constexpr std::size_t kMaxPictureFileBytes = std::size_t{16} * 1024 * 1024;
// The decoder paints every frame of an animation on the whole logical screen: what all frames
// together come to may be at most one picture of the largest size.
constexpr std::uint64_t kMaxPictureFramePixels = std::uint64_t{kMaxPictureSide} * kMaxPictureSide;

// Decodes a GIF, ICO, BMP or JPEG held in memory; `what` names it in error reports.
// Raises "Invalid picture" for anything else, for oversized dimensions and for damaged data.
std::shared_ptr<PixbufPicture> DecodePicture(std::string_view bytes, const std::string& what);

// Reads and decodes a picture file; a relative name is taken from the working directory.
std::shared_ptr<PixbufPicture> LoadPictureFile(const std::string& fileName);

// Pictures of files remembered by their bytes. Every load reads the file, so a file that changed,
// went or went bad is seen at once, with the same errors as LoadPictureFile; only bytes met
// lately skip the decoder and answer the picture decoded from them. A timer that shows the same
// files again and again costs a read each time, not a decode.
class PictureFileCache {
 public:
  // A few files' worth, and at most one largest picture's pixels in all (the latest always stays).
  static constexpr std::size_t kMaxEntries = 4;
  static constexpr std::size_t kMaxPixelBytes = std::size_t{kMaxPictureSide} * kMaxPictureSide * 4;

  std::shared_ptr<PixbufPicture> Load(const std::string& fileName);

 private:
  struct Entry {
    std::string bytes;
    std::shared_ptr<PixbufPicture> picture;
  };
  std::list<Entry> entries_;  // the latest used first
};

// Decodes a picture embedded in the program's resources, with its double-density copy when the
// resources hold one beside it: NAME@2x.EXT, exactly twice its width and height.
std::shared_ptr<PixbufPicture> LoadPictureResource(const std::string& resourcePath);

// Where the double-density copy of a picture of the resources would be: "/a/b.gif" gives
// "/a/b@2x.gif".
std::string DoubleDensityPath(const std::string& resourcePath);

}  // namespace tavro::platform::gtk
