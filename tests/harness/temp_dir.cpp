#include "temp_dir.h"

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace tavro::test {
namespace fs = std::filesystem;

TempDir::TempDir(const std::string& prefix) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = (fs::path(tmp && *tmp ? tmp : "/tmp") / (prefix + ".XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
  path_ = buffer.data();
}

TempDir::~TempDir() {
  const char* keep = std::getenv("TAVRO_KEEP_TEST_DIRS");
  if (keep && std::string(keep) == "1") {
    std::fprintf(stderr, "[harness] kept %s\n", path_.c_str());
    return;
  }
  std::error_code ec;
  fs::remove_all(path_, ec);
}

fs::path TempDir::Sub(const std::string& name) const {
  const fs::path p = path_ / name;
  fs::create_directories(p);
  return p;
}

void WriteFileBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

fs::path SampleImagesDir() { return fs::path(TAVRO_SAMPLES_DIR); }

void CopySampleImages(const fs::path& dir) {
  for (const char* name : {"界面_03.gif", "界面_06.gif"})
    fs::copy_file(SampleImagesDir() / fs::path(name), dir / fs::path(name),
                  fs::copy_options::overwrite_existing);
}

fs::path ShotDir() {
  const char* dir = std::getenv("TAVRO_TEST_SHOTS");
  const fs::path p = dir && *dir ? fs::path(dir) : fs::path("/tmp/tavro-test-shots");
  fs::create_directories(p);
  return p;
}

}  // namespace tavro::test
