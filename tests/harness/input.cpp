#include "input.h"

#include <stdexcept>

#include "wait.h"

namespace tavro::test {

Input::Input(XServer& x, std::filesystem::path logDir) : x_(x), logDir_(std::move(logDir)) {
  std::filesystem::create_directories(logDir_);
}

void Input::Run(const std::vector<std::string>& args) {
  ProcessOptions p;
  p.argv = {"xdotool"};
  p.argv.insert(p.argv.end(), args.begin(), args.end());
  p.env = {{"DISPLAY", x_.DisplayName()}};
  const auto log = logDir_ / ("xdotool-" + std::to_string(++runs_) + ".log");
  p.stdoutPath = log;
  p.stderrPath = log;
  const auto code = RunToEnd(p, 20s);
  if (code != 0) {
    std::string joined;
    for (const auto& a : args) joined += " " + a;
    throw std::runtime_error("xdotool" + joined + (code ? " failed: " : " hung: ") + ReadFile(log));
  }
}

void Input::Key(XWindow window, const std::string& key) {
  x_.Focus(window);
  Run({"key", "--delay", "30", key});
}

// XTEST requests are carried out in order, so a press after a move lands where the move went;
// "mousemove --sync" is not used because it hangs when the pointer is already there.
void Input::MoveTo(int x, int y) { Run({"mousemove", std::to_string(x), std::to_string(y)}); }

void Input::Click(int x, int y, int button) {
  Run({"mousemove", std::to_string(x), std::to_string(y), "sleep", "0.1", "click",
       std::to_string(button)});
}

void Input::Drag(int x, int y, int dx, int dy, int button, int steps) {
  std::vector<std::string> args = {"mousemove", std::to_string(x), std::to_string(y), "sleep", "0.15",
                                   "mousedown", std::to_string(button), "sleep", "0.15"};
  for (int i = 1; i <= steps; ++i) {
    const int px = x + dx * i / steps, py = y + dy * i / steps;
    args.insert(args.end(), {"mousemove", std::to_string(px), std::to_string(py), "sleep", "0.04"});
  }
  args.insert(args.end(), {"sleep", "0.15", "mouseup", std::to_string(button)});
  Run(args);
}

}  // namespace tavro::test
