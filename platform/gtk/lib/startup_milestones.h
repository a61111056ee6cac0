// The start's milestones on stderr, for the start-up benchmark: with TAVRO_TIMELINE set to
// anything non-empty, each milestone is written once, the first time it is reached, as
// "tavro-timeline <name> <seconds>" on the monotonic clock (CLOCK_MONOTONIC, 6 decimals).
#pragma once

namespace tavro::platform::gtk {

enum class Milestone {
  Main,     // the program's entry
  Toolkit,  // GTK started
  Context,  // the first web context made
  View,     // the first web view made
  Load,     // the first load asked of a view
  Title,    // the first page title a view has
  Tick,     // the first timer tick
  Caption,  // the window's caption first set to a text
};

void Reached(Milestone milestone);

}  // namespace tavro::platform::gtk
