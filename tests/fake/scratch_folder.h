// A fixture that runs each test inside a fresh, empty working folder of its own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tavro::fake {

class ScratchFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    // Tests of one process run one after another: one folder per process is enough.
    folder_ = fs::temp_directory_path() / ("tavro_scratch_" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    folder_ = fs::canonical(folder_);
    previous_ = fs::current_path();
    fs::current_path(folder_);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(folder_);
  }
  // Writes exactly these bytes, replacing what the file held.
  void WriteFile(const std::filesystem::path& name, const std::string& bytes) {
    std::ofstream(folder_ / name, std::ios::binary | std::ios::trunc) << bytes;
  }

  std::filesystem::path folder_, previous_;
};

}  // namespace tavro::fake
