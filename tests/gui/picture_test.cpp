// The two pictures of the signed-in layout as they may really be found in the working folder:
// missing, empty, cut short, not a picture at all, or claiming a size that no memory holds.
// Each must end in an "Invalid picture" (or file) error that names the file, never in a crash or
// an attempt to allocate the claimed size. GdkPixbuf decodes without a display.
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <gtkmm/main.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fake/scratch_folder.h"
#include "platform/errors.h"
#include "platform/gtk/form/picture.h"

namespace {

namespace fs = std::filesystem;
namespace gtk = tavro::platform::gtk;
using tavro::platform::RuntimeError;
using namespace std::string_literals;

const std::string kHeader = "界面_03.gif";

std::string Le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string Le32(unsigned v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

// A GIF whose screen and only frame claim the given sizes, with one pixel's worth of data.
std::string Gif(unsigned screenW, unsigned screenH, unsigned frameW, unsigned frameH) {
  return "GIF89a" + Le16(screenW) + Le16(screenH) + "\x80\x00\x00"s + "\xFF\xFF\xFF\x00\x00\x00"s + "\x2C" +
         Le16(0) + Le16(0) + Le16(frameW) + Le16(frameH) + "\x00\x02\x02\x44\x01\x00\x3B"s;
}

// A 24-bit BMP claiming the size, with a few bytes of pixels.
std::string Bmp(unsigned w, unsigned h) {
  return "BM" + Le32(54 + 16) + Le32(0) + Le32(54) + Le32(40) + Le32(w) + Le32(h) + Le16(1) + Le16(24) + Le32(0) +
         Le32(16) + Le32(2835) + Le32(2835) + Le32(0) + Le32(0) + std::string(16, '\x7F');
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

long PeakMegabytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

class PictureFileTest : public tavro::fake::ScratchFolderTest {
 protected:
  void Write(const std::string& bytes) { WriteFile(fs::path(kHeader), bytes); }
  // The error LoadPictureFile raises for the header picture, checked to name it and its folder.
  int LoadError(std::string* description = nullptr) {
    try {
      gtk::LoadPictureFile(kHeader);
    } catch (const RuntimeError& e) {
      EXPECT_NE(e.Description().find("'" + kHeader + "' in folder '" + folder_.string() + "'"), std::string::npos)
          << e.Description();
      if (description) *description = e.Description();
      return e.Number();
    }
    return 0;
  }

};

TEST_F(PictureFileTest, MissingOrNotAFileNamesTheFile) {
  EXPECT_EQ(LoadError(), 53);
  fs::create_directory(folder_ / fs::path(kHeader));
  EXPECT_EQ(LoadError(), 75);
}

TEST_F(PictureFileTest, EmptyTruncatedAndForeignFilesAreInvalidPictures) {
  const std::string sample = ReadAll(fs::path(TAVRO_SAMPLES_DIR) / fs::path(kHeader));
  ASSERT_GT(sample.size(), 100u);
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"only the signature", "GIF89a"},
      {"cut in the header", sample.substr(0, 10)},
      {"cut in the colour table", sample.substr(0, 40)},
      {"cut in half", sample.substr(0, sample.size() / 2)},
      {"trailer missing", sample.substr(0, sample.size() - 1) + "\x21"},
      {"text", "http://127.0.0.1:8080\r\n"},
      {"PNG", "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s},
      {"HTML", "<!DOCTYPE html><title>404</title>"},
  };
  for (const auto& [label, bytes] : cases) {
    Write(bytes);
    std::string description;
    EXPECT_EQ(LoadError(&description), 481) << label;
    EXPECT_EQ(description.rfind("Invalid picture: ", 0), 0u) << label << ": " << description;
  }
  // The sample itself still loads, after all those failures.
  Write(sample);
  EXPECT_EQ(LoadError(), 0);
  EXPECT_GT(gtk::LoadPictureFile(kHeader)->PixelWidth(), 300);
}

TEST_F(PictureFileTest, HugeClaimedSizesAreRefusedBeforeAnythingIsAllocated) {
  const long before = PeakMegabytes();
  const std::pair<const char*, std::string> cases[] = {
      {"GIF screen 60000 x 60000", Gif(60000, 60000, 1, 1)},
      {"GIF frame 60000 x 60000", Gif(1, 1, 60000, 60000)},
      {"GIF both 60000 x 60000", Gif(60000, 60000, 60000, 60000)},
      {"GIF 65535 x 1", Gif(65535, 1, 65535, 1)},
      {"GIF zero size", Gif(0, 0, 0, 0)},
      {"BMP 60000 x 60000", Bmp(60000, 60000)},
  };
  for (const auto& [label, bytes] : cases) {
    Write(bytes);
    std::string description;
    EXPECT_EQ(LoadError(&description), 481) << label;
    EXPECT_NE(description.find("out of range"), std::string::npos) << label << ": " << description;
  }
  // One 60000 x 60000 RGBA image would be 13 GiB; nothing near even its first row band is kept.
  EXPECT_LT(PeakMegabytes() - before, 64) << "peak grew from " << before << " MB";
  // A picture just inside the limit still decodes.
  Write(Gif(4, 4, 1, 1));
  EXPECT_EQ(LoadError(), 0);
}

// An animation's frames are each painted on the whole screen: thousands of them would keep the
// decoder busy for many seconds and fill memory, though the file is small.
TEST_F(PictureFileTest, AnimationsOfMoreFramesThanOneLargestPictureHoldsAreRefused) {
  const auto animation = [](unsigned side, unsigned frames) {
    std::string gif = "GIF89a" + Le16(side) + Le16(side) + "\x80\x00\x00"s + "\xFF\xFF\xFF\x00\x00\x00"s;
    for (unsigned i = 0; i < frames; ++i)
      gif += "\x21\xF9\x04\x00\x01\x00\x00\x00"s + "\x2C" + Le16(0) + Le16(0) + Le16(1) + Le16(1) +
             "\x00\x02\x02\x44\x01\x00"s;
    return gif + "\x3B";
  };
  const long before = PeakMegabytes();
  Write(animation(300, 1400));  // 1400 frames of a 300 x 300 screen: 126 million pixels
  std::string description;
  EXPECT_EQ(LoadError(&description), 481);
  EXPECT_NE(description.find("too many frames"), std::string::npos) << description;
  EXPECT_LT(PeakMegabytes() - before, 64) << "peak grew from " << before << " MB";
  // As many frames as one largest picture holds still decode.
  Write(animation(300, 186));  // 16.7 million pixels
  EXPECT_EQ(LoadError(), 0);
}

TEST_F(PictureFileTest, FilesLargerThanAnySkinAreRefusedUnread) {
  // A sparse file: 17 MB long, nothing on disk.
  {
    std::ofstream(folder_ / fs::path(kHeader), std::ios::binary) << "GIF89a";
  }
  fs::resize_file(folder_ / fs::path(kHeader), 17u * 1024 * 1024);
  std::string description;
  EXPECT_EQ(LoadError(&description), 481);
  EXPECT_NE(description.find("too large"), std::string::npos) << description;
}

// Timer1 loads the two pictures twice a second: the cache reads the file each time and decodes
// only bytes it has not met lately, whatever the file's name, size or time say.
TEST_F(PictureFileTest, TheCacheSeesEveryChangeOfTheFileAndDecodesOnlyNewBytes) {
  gtk::PictureFileCache cache;
  const auto errorOf = [&] {
    try {
      cache.Load(kHeader);
    } catch (const RuntimeError& e) {
      EXPECT_NE(e.Description().find(kHeader), std::string::npos) << e.Description();
      return e.Number();
    }
    return 0;
  };
  const auto pixel = [](const std::shared_ptr<gtk::PixbufPicture>& picture) {
    const guint8* p = picture->Pixbuf()->get_pixels();
    return std::string(reinterpret_cast<const char*>(p), 3);
  };
  const std::string white = Gif(4, 4, 1, 1);
  std::string green = white;
  green.replace(13, 3, "\x00\xFF\x00"s);  // the first colour of the table: same length, other pixels
  ASSERT_EQ(green.size(), white.size());

  Write(white);
  const auto first = cache.Load(kHeader);
  EXPECT_EQ(cache.Load(kHeader), first) << "the same bytes were decoded again";
  EXPECT_EQ(pixel(first), "\xFF\xFF\xFF"s);

  const auto written = fs::last_write_time(folder_ / fs::path(kHeader));
  Write(green);
  fs::last_write_time(folder_ / fs::path(kHeader), written);
  const auto second = cache.Load(kHeader);
  EXPECT_NE(second, first);
  EXPECT_EQ(pixel(second), "\x00\xFF\x00"s) << "a file of the same size and time was taken for the one before";
  Write(white);
  EXPECT_EQ(cache.Load(kHeader), first);

  // Every error of the file as it is now, as without the cache; then the picture again.
  fs::remove(folder_ / fs::path(kHeader));
  EXPECT_EQ(errorOf(), 53);
  Write(white.substr(0, 20));
  EXPECT_EQ(errorOf(), 481);
  Write(Gif(60000, 60000, 1, 1));
  EXPECT_EQ(errorOf(), 481);
  Write(green);
  EXPECT_EQ(cache.Load(kHeader), second);

  // It keeps a few pictures, not every one it has met.
  for (unsigned side = 1; side <= gtk::PictureFileCache::kMaxEntries + 1; ++side) {
    Write(Gif(side + 10, side + 10, 1, 1));
    cache.Load(kHeader);
  }
  Write(white);
  EXPECT_NE(cache.Load(kHeader), first) << "more pictures kept than the cache holds";
}

TEST(DecodePictureTest, DamagedDataInMemoryIsAnInvalidPictureNamingWhatWasRead) {
  const std::string sample = ReadAll(fs::path(TAVRO_SAMPLES_DIR) / "界面_06.gif");
  ASSERT_GT(sample.size(), 30u);
  // Every cut of a real picture either decodes or is refused; none crashes.
  int refused = 0;
  for (std::size_t length = 0; length < sample.size(); length += 7) {
    try {
      gtk::DecodePicture(std::string_view(sample).substr(0, length), "cut picture");
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.Number(), 481);
      EXPECT_NE(e.Description().find("cut picture"), std::string::npos);
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
  // Flipped bytes in the middle of the image data.
  std::string flipped = sample;
  for (std::size_t i = flipped.size() / 2; i < flipped.size() - 2; i += 3) flipped[i] = static_cast<char>(~flipped[i]);
  try {
    gtk::DecodePicture(flipped, "flipped picture");
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 481);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // The picture wrappers need gtkmm's type registry; no display is opened.
  Gtk::Main::init_gtkmm_internals();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
