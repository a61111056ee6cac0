// kefu-site: serves the demo customer-service site on 127.0.0.1 and prints the bound port as the
// first line of its output.
#include <pthread.h>
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "kefu_site.h"
#include "tavro_config.h"

namespace {

constexpr const char* kUsage =
    "usage: kefu-site [--port N] [--marker QQnnnnnnn] [--log FILE] [--auto-login MS] [--help]\n"
    "  --port N         port on 127.0.0.1 to serve (default 0: any free port)\n"
    "  --marker QQnnnnnnn\n"
    "                   title marker of the agent console (default " TAVRO_TITLE_MARKER ")\n"
    "  --log FILE       append one line per request: METHOD TARGET SESSIONID\n"
    "  --auto-login MS  the login page signs the demo account in after MS milliseconds\n"
    "The first line written to standard output is the bound port.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "kefu-site: %s\n%s", message.c_str(), kUsage);
  return 2;
}

// A whole decimal number within [low, high], or nothing.
std::optional<long> ParseNumber(std::string_view text, long low, long high) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  kefu::SiteOptions options;
  options.marker = TAVRO_TITLE_MARKER;
  long port = 0;

  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    std::string value;
    const std::size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
    } else if (arg == "--port" || arg == "--marker" || arg == "--log" || arg == "--auto-login") {
      if (i + 1 >= argc) return UsageError(arg + " needs a value");
      value = argv[++i];
    } else {
      return UsageError("unknown option " + arg);
    }

    if (arg == "--port") {
      const auto n = ParseNumber(value, 0, 65535);
      if (!n) return UsageError("--port needs a number from 0 to 65535, got \"" + value + "\"");
      port = *n;
    } else if (arg == "--marker") {
      if (!kefu::IsValidMarker(value)) {
        std::fprintf(stderr, "kefu-site: --marker must be \"QQ\" followed by exactly seven digits, got \"%s\"\n",
                     value.c_str());
        return 2;
      }
      options.marker = value;
    } else if (arg == "--log") {
      if (value.empty()) return UsageError("--log needs a file name");
      options.log_path = value;
    } else if (arg == "--auto-login") {
      const auto n = ParseNumber(value, 0, 3600000);
      if (!n) return UsageError("--auto-login needs milliseconds from 0 to 3600000, got \"" + value + "\"");
      options.auto_login_ms = static_cast<int>(*n);
    } else {
      return UsageError("unknown option " + arg);
    }
  }

  // Termination requests are taken by sigwait below, so every thread must have them blocked
  // before the server starts its threads.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  try {
    kefu::Site site(options);
    const int bound = site.Start(static_cast<int>(port));
    if (bound < 0) {
      std::fprintf(stderr, "kefu-site: cannot listen on 127.0.0.1:%ld\n", port);
      return 1;
    }
    std::printf("%d\n", bound);
    std::fflush(stdout);

    const timespec tick{0, 200 * 1000 * 1000};
    while (site.Serving()) {
      const int sig = sigtimedwait(&stop_signals, nullptr, &tick);
      if (sig == SIGTERM || sig == SIGINT) {
        site.Stop();
        return 0;
      }
    }
    std::fprintf(stderr, "kefu-site: the server stopped unexpectedly\n");
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kefu-site: %s\n", e.what());
    return 1;
  }
}
