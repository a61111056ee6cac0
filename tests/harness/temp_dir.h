// A temporary folder per test: the program's working folder, its home and the logs.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tavro::test {

class TempDir {
 public:
  // Makes a fresh folder under $TMPDIR (or /tmp) whose name starts with the prefix.
  explicit TempDir(const std::string& prefix = "tavro-test");
  // Removes the folder, unless TAVRO_KEEP_TEST_DIRS=1 is set (then its path is printed).
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // A subfolder, made when missing.
  std::filesystem::path Sub(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// Writes exactly these bytes (no newline is added).
void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes);

// The folder of the sample pictures of the logged-in layout (界面_03.gif, 界面_06.gif).
std::filesystem::path SampleImagesDir();
// Copies the two sample pictures into the folder.
void CopySampleImages(const std::filesystem::path& dir);

// Where failure screenshots go: $TAVRO_TEST_SHOTS, else /tmp/tavro-test-shots (made when missing).
std::filesystem::path ShotDir();

}  // namespace tavro::test
