// Start milestones written to stderr when TAVRO_TIMELINE asks for them.
#include "startup_milestones.h"

#include <time.h>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace tavro::platform::gtk {

void Reached(Milestone milestone) {
  static constexpr std::array<const char*, 8> kNames = {"main", "toolkit", "context", "view",
                                                        "load", "title",   "tick",    "caption"};
  // The trace of one process's start: read the switch once, remember what was written.
  static const bool wanted = [] {
    const char* value = std::getenv("TAVRO_TIMELINE");
    return value && *value;
  }();
  static std::array<bool, kNames.size()> written{};
  const auto index = static_cast<std::size_t>(milestone);
  if (!wanted || index >= kNames.size() || written[index]) return;
  written[index] = true;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::fprintf(stderr, "tavro-timeline %s %lld.%06ld\n", kNames[index], static_cast<long long>(now.tv_sec),
               now.tv_nsec / 1000);
}

}  // namespace tavro::platform::gtk
