// Keyboard and mouse input through xdotool (the XTEST extension), as a person would give it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "x_server.h"

namespace tavro::test {

class Input {
 public:
  // xdotool's output goes to files in logDir.
  Input(XServer& x, std::filesystem::path logDir);

  // Gives the window the input focus and presses and releases the key (xdotool key names:
  // "Return", "Escape", ...).
  void Key(XWindow window, const std::string& key);
  // Moves the pointer to a point on the root window.
  void MoveTo(int x, int y);
  // Moves there, then presses and releases the button.
  void Click(int x, int y, int button = 1);
  // Presses the button at (x, y), moves by (dx, dy) in small steps, and releases it there.
  void Drag(int x, int y, int dx, int dy, int button = 1, int steps = 12);

 private:
  // Runs xdotool with the arguments; throws when it fails or hangs.
  void Run(const std::vector<std::string>& args);

  XServer& x_;
  std::filesystem::path logDir_;
  int runs_ = 0;
};

}  // namespace tavro::test
