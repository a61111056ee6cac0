// Tavro's entry: hands control to the forms runtime, which builds Form1 and runs it.
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>

#include "form/form1_design.h"
#include "form1.h"
#include "platform/gtk/runtime/gtk_platform.h"
#include "tavro_config.h"

namespace {

constexpr int kUsageExitCode = 2;

constexpr char kUsage[] =
    "Usage: tavro [-C DIR | --folder DIR | --menu] [--help | --version]\n"
    "\n"
    "Frames the agent console of a web customer-service site in one skinned window.\n"
    "\n"
    "Options:\n"
    "  -C DIR, --folder DIR  run in the folder DIR, not in the current directory\n"
    "  --menu                run in ${XDG_CONFIG_HOME:-~/.config}/tavro if that\n"
    "                        folder exists, else in the home folder (the command\n"
    "                        of the menu entry)\n"
    "  -h, --help            print this help and exit\n"
    "  --version             print the name and version and exit\n"
    "\n"
    "Tavro reads, from the folder it runs in:\n"
    "  url.txt      the site address, e.g. http://kefu.example.com (no final \"/\");\n"
    "               the whole file is the address. An empty file brings a reminder.\n"
    "  界面_03.gif  the header strip and\n"
    "  界面_06.gif  the close button of the layout shown once the agent signs in.\n"
    "The package puts samples of the three in /usr/share/tavro.\n"
    "\n"
    "Tavro opens the address followed by /kefu/login.php? and writes no files.\n"
    "\n"
    "Exit status: 0 when the window has been closed, 1 after an error report,\n"
    "2 when the folder to run in cannot be entered (it does not exist or is not\n"
    "a folder) or an option is wrong.\n";

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return {};
}

// The menu's rule: ${XDG_CONFIG_HOME:-~/.config}/tavro when that folder exists, else the home
// folder. A relative XDG_CONFIG_HOME is ignored, as the XDG base directory rules require.
std::string MenuFolder() {
  std::string home = HomeFolder();
  std::filesystem::path config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
    config = xdg;
  else if (!home.empty())
    config = std::filesystem::path(home) / ".config";
  std::error_code ec;
  if (!config.empty() && std::filesystem::is_directory(config / "tavro", ec)) return config / "tavro";
  return home;
}

// Makes `folder` the working directory, where url.txt and the pictures are looked for.
bool EnterFolder(const std::string& folder, std::string_view how) {
  if (folder.empty() || ::chdir(folder.c_str()) != 0) {
    const int error = folder.empty() ? ENOENT : errno;
    std::cerr << "tavro: cannot run in the folder '" << folder << "' (" << how
              << "): " << std::strerror(error) << "\n";
    return false;
  }
  // Keep PWD true for anything that reads it rather than asking the system.
  std::error_code ec;
  if (const auto cwd = std::filesystem::current_path(ec); !ec) ::setenv("PWD", cwd.c_str(), 1);
  return true;
}

// Where the installed samples are, next to the program: bin/tavro and share/tavro/.
std::string SampleFolder() {
  std::error_code ec;
  const auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const auto samples = program.parent_path().parent_path() / "share" / "tavro";
  return std::filesystem::is_regular_file(samples / "url.txt", ec) ? samples.string() : std::string();
}

// What goes into the files of the working folder, for the report of one that is missing there.
void DescribeWorkingFiles(tavro::platform::Runtime& runtime) {
  const std::string samples = SampleFolder();
  const std::string zhSample = samples.empty() ? "" : "（样例在 " + samples + "）";
  const std::string enSample = samples.empty() ? "" : " (samples are in " + samples + ")";
  runtime.DescribeFile("url.txt",
                       "请在这个文件夹中放入 url.txt，内容是客服网站的地址，例如 http://kefu.example.com，末尾不加“/”" +
                           zhSample + "。从菜单启动时，这个文件夹是 ~/.config/tavro。",
                       "Put url.txt in this folder, holding the address of the customer-service site, for example "
                       "http://kefu.example.com, without a final \"/\"" + enSample +
                           ". Started from the menu, the folder is ~/.config/tavro.");
  for (const char* picture : {"界面_03.gif", "界面_06.gif"})
    runtime.DescribeFile(picture,
                         std::string("请在这个文件夹中放入登录后界面用的图片 ") + picture + zhSample + "。",
                         std::string("Put the picture ") + picture + " of the signed-in layout in this folder" +
                             enSample + ".");
}

}  // namespace

int main(int argc, char** argv) {
  tavro::platform::gtk::ProgramStarted();
  const auto line = tavro::platform::gtk::TakeOptions(argc, argv);
  if (!line.error.empty()) {
    std::cerr << "tavro: " << line.error << "\nTry 'tavro --help' for more information.\n";
    return kUsageExitCode;
  }
  if (line.version) {
    std::cout << TAVRO_DISPLAY_NAME << " " << TAVRO_VERSION << "\n";
    return 0;
  }
  if (line.help) {
    std::cout << kUsage;
    return 0;
  }
  if (line.folder && !EnterFolder(*line.folder, "-C/--folder")) return kUsageExitCode;
  if (line.menu && !EnterFolder(MenuFolder(), "--menu")) return kUsageExitCode;

  auto runtime = tavro::platform::gtk::CreateRuntime(argc, argv, TAVRO_DISPLAY_NAME);
  DescribeWorkingFiles(*runtime);
  auto user32 = tavro::platform::gtk::CreateWindowSystem();
  std::unique_ptr<tavro::app::Form1> form1;
  const int code = runtime->Run(tavro::app::Form1Design(), [&](tavro::platform::Form& window) {
    form1 = std::make_unique<tavro::app::Form1>(*runtime, *user32, window);
    form1->Bind();
  });
  return code;
}
