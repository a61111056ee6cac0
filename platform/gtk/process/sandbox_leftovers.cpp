// Removing the sandbox's per-process notes from the runtime folder.
#include "sandbox_leftovers.h"

#include <glib.h>
#include <unistd.h>

#include <filesystem>

namespace tavro::platform::gtk {
namespace fs = std::filesystem;

SandboxLeftovers::SandboxLeftovers() {
  const char* dir = g_get_user_runtime_dir();
  runtimeDir_ = dir ? dir : "";
  std::error_code ec;
  hadInstances_ = fs::exists(fs::path(runtimeDir_) / ".flatpak", ec);
  hadProxies_ = fs::exists(fs::path(runtimeDir_) / "webkitgtk", ec);
}

void SandboxLeftovers::Clean() const {
  if (runtimeDir_.empty()) return;
  std::error_code ec;
  const fs::path instances = fs::path(runtimeDir_) / ".flatpak";
  // The launcher names each note "webkit-<this process's id>-<n>".
  const std::string ours = "webkit-" + std::to_string(::getpid()) + "-";
  for (fs::directory_iterator it(instances, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().filename().string().rfind(ours, 0) == 0) fs::remove_all(it->path(), ec);
  if (!hadInstances_ && fs::is_empty(instances, ec)) fs::remove(instances, ec);
  const fs::path proxies = fs::path(runtimeDir_) / "webkitgtk";
  if (!hadProxies_ && fs::is_empty(proxies, ec)) fs::remove(proxies, ec);
}

}  // namespace tavro::platform::gtk
