// Tavro's EGL vendor found next to the program and handed to libglvnd through its environment.
#include "gl_driver.h"

#include <cstdlib>
#include <filesystem>

namespace tavro::platform::gtk {
namespace {

constexpr char kVendorDescription[] = "tavro_egl_none.json";
constexpr char kVendorLibrary[] = "libEGL_tavro_none.so";
constexpr char kVendorFiles[] = "__EGL_VENDOR_LIBRARY_FILENAMES";
constexpr char kVendorDirs[] = "__EGL_VENDOR_LIBRARY_DIRS";

std::filesystem::path OwnVendorDescription() {
  std::error_code ec;
  const auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const auto bin = program.parent_path();
  // Next to the program in the build tree; in lib/tavro/egl when installed.
  for (const auto& folder : {bin, bin.parent_path() / "lib" / "tavro" / "egl"}) {
    if (std::filesystem::is_regular_file(folder / kVendorDescription, ec) &&
        std::filesystem::is_regular_file(folder / kVendorLibrary, ec))
      return folder / kVendorDescription;
  }
  return {};
}

}  // namespace

void KeepGlDriverOut() {
  if (std::getenv(kVendorFiles) || std::getenv(kVendorDirs)) return;
  // Without the vendor installed, libglvnd keeps the system's: a list naming nothing would leave
  // the engine without any display, and every web process would end at its start.
  const auto description = OwnVendorDescription();
  if (!description.empty()) setenv(kVendorFiles, description.c_str(), 0);
}

std::string OwnGlVendorFolder() {
  const char* chosen = std::getenv(kVendorFiles);
  const auto description = OwnVendorDescription();
  if (!chosen || description.empty() || description != chosen) return {};
  return description.parent_path().string();
}

}  // namespace tavro::platform::gtk
