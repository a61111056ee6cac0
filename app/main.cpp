// Tavro's entry: hands control to the forms runtime, which builds Form1 and runs it.
#include <cstring>
#include <iostream>
#include <memory>

#include "form/form1_design.h"
#include "form1.h"
#include "platform/gtk/gtk_platform.h"
#include "tavro_config.h"

namespace {

constexpr char kUsage[] =
    "Usage: tavro [--help | --version]\n"
    "\n"
    "Frames the agent console of a web customer-service site in one skinned window.\n"
    "\n"
    "Tavro reads, from the folder it is started in (the current working directory):\n"
    "  url.txt       the site address, for example http://kefu.example.com (no final \"/\");\n"
    "                the whole file is the address. An empty file brings a reminder.\n"
    "  界面_03.gif   the header strip and\n"
    "  界面_06.gif   the close button of the layout shown after the agent signs in.\n"
    "\n"
    "Tavro opens the address followed by /kefu/login.php? and writes no files.\n";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::cout << TAVRO_DISPLAY_NAME << " " << TAVRO_VERSION << "\n";
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::cout << kUsage;
      return 0;
    }
  }

  auto runtime = tavro::platform::gtk::CreateRuntime(argc, argv, TAVRO_DISPLAY_NAME);
  auto user32 = tavro::platform::gtk::CreateWindowSystem();
  std::unique_ptr<tavro::app::Form1> form1;
  const int code = runtime->Run(tavro::app::Form1Design(), [&](tavro::platform::Form& window) {
    form1 = std::make_unique<tavro::app::Form1>(*runtime, *user32, window);
    form1->Bind();
  });
  return code;
}
