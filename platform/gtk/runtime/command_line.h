// Tavro's own command-line options, taken out of argv; the toolkit's options stay for the toolkit.
#pragma once

#include <optional>
#include <string>

namespace tavro::platform::gtk {

// What the command line asks for besides the toolkit's own options.
struct CommandLine {
  bool help = false;                  // -h, --help
  bool version = false;               // --version
  bool menu = false;                  // --menu
  std::optional<std::string> folder;  // -C DIR, -CDIR, --folder DIR, --folder=DIR: the bytes as given
  std::string error;                  // a wrong option, or empty
};

// Takes -C/--folder, --menu, -h/--help and --version out of argv and leaves the rest, in order,
// for the toolkit, with argv[argc] null. The word after -C or --folder is the folder whatever it
// looks like; "--" ends the options.
CommandLine TakeOptions(int& argc, char** argv);

}  // namespace tavro::platform::gtk
