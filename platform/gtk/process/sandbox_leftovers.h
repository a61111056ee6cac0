// WebKit's sandbox notes each sandboxed web process in the session's runtime folder (for the
// desktop's portals); Tavro takes its own notes away again when it ends, so that a session leaves
// nothing behind.
#pragma once

#include <string>

namespace tavro::platform::gtk {

class SandboxLeftovers {
 public:
  // Looks at the runtime folder before any web process starts.
  SandboxLeftovers();
  SandboxLeftovers(const SandboxLeftovers&) = delete;
  SandboxLeftovers& operator=(const SandboxLeftovers&) = delete;

  // Removes this process's notes, and the folders made for them when they were not there before.
  // Safe to call more than once, and from the last moments of the program.
  void Clean() const;

 private:
  std::string runtimeDir_;
  bool hadInstances_ = false;  // .flatpak
  bool hadProxies_ = false;    // webkitgtk
};

}  // namespace tavro::platform::gtk
