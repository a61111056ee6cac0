// Tavro's own options read with GLib's option parser, which leaves the options it does not know
// (the toolkit's) in argv.
#include "command_line.h"

#include <glib.h>

#include <algorithm>
#include <list>
#include <memory>
#include <string_view>
#include <vector>

#include "owners.h"

namespace tavro::platform::gtk {
namespace {

constexpr std::string_view kFolderShort = "-C";
constexpr std::string_view kFolderLong = "--folder";

struct OptionContextFree {
  void operator()(GOptionContext* context) const { g_option_context_free(context); }
};

}  // namespace

CommandLine TakeOptions(int& argc, char** argv) {
  // GLib reads "-CDIR" as the one-letter options C, D, I and R, so a folder written onto -C goes to
  // it as "--folder=DIR". The word after -C or --folder is a value and stays as it is, and so does
  // everything after "--", where GLib stops.
  std::list<std::string> rewritten;  // a list: the addresses handed to GLib stay put
  std::vector<char*> args(argv, argv + argc);
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--") break;
    if (arg == kFolderShort || arg == kFolderLong) {
      ++i;
    } else if (arg.starts_with(kFolderShort)) {
      args[i] = rewritten.emplace_back(std::string(kFolderLong) + "=" + std::string(arg.substr(2))).data();
    }
  }
  args.push_back(nullptr);

  gboolean help = FALSE, version = FALSE, menu = FALSE;
  gchar* folder = nullptr;
  // A file name: the folder's bytes as given, whatever the locale's character set.
  GOptionEntry entries[] = {
      {"folder", 'C', G_OPTION_FLAG_NONE, G_OPTION_ARG_FILENAME, &folder, nullptr, nullptr},
      {"menu", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_NONE, &menu, nullptr, nullptr},
      {"help", 'h', G_OPTION_FLAG_NONE, G_OPTION_ARG_NONE, &help, nullptr, nullptr},
      {"version", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_NONE, &version, nullptr, nullptr},
      {},  // the end of the list
  };
  const std::unique_ptr<GOptionContext, OptionContextFree> context(g_option_context_new(nullptr));
  // --help prints Tavro's own usage, and what GLib does not know belongs to the toolkit.
  g_option_context_set_help_enabled(context.get(), FALSE);
  g_option_context_set_ignore_unknown_options(context.get(), TRUE);
  g_option_context_add_main_entries(context.get(), entries, nullptr);

  int left = argc;
  char** leftArgs = args.data();
  GError* parseError = nullptr;
  const bool parsed = g_option_context_parse(context.get(), &left, &leftArgs, &parseError);
  const GErrorPtr error(parseError);
  const GCharPtr folderOwner(folder);

  CommandLine line;
  if (!parsed) {
    // GLib takes whatever word follows -C or --folder: only the last word can be missing its folder.
    if (g_error_matches(error.get(), G_OPTION_ERROR, G_OPTION_ERROR_BAD_VALUE))
      line.error =
          std::string(argv[argc - 1] == kFolderLong ? kFolderLong : kFolderShort) + " needs a folder";
    else
      line.error = error ? error->message : "the options cannot be read";
    return line;
  }
  line.help = help;
  line.version = version;
  line.menu = menu;
  if (folder) line.folder = folder;
  if (line.menu && line.folder)
    line.error = "--menu and -C/--folder each name the folder to run in; give one of them";

  // What GLib left are words of argv itself: a rewritten "--folder=DIR" is always taken as Tavro's.
  std::copy(leftArgs, leftArgs + left, argv);
  argc = left;
  argv[argc] = nullptr;
  return line;
}

}  // namespace tavro::platform::gtk
