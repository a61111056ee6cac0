// Network processes found among this program's children by name, watched through pidfds.
#include "network_process_watch.h"

#include <glib-unix.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace tavro::platform::gtk {
namespace {

// The kernel cuts process names at 15 characters.
constexpr char kNetworkProcessName[] = "WebKitNetworkPr";

struct Stat {
  std::string name;
  char state = '?';
  pid_t parent = 0;
};

Stat StatOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(in, line);
  Stat stat;
  const auto open = line.find('('), close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return stat;
  stat.name = line.substr(open + 1, close - open - 1);
  // After the name: state, then the parent's id.
  const auto fields = line.substr(close + 2);
  if (!fields.empty()) stat.state = fields[0];
  const auto space = fields.find(' ');
  if (space != std::string::npos) stat.parent = static_cast<pid_t>(std::atol(fields.c_str() + space + 1));
  return stat;
}

}  // namespace

NetworkProcessWatch::~NetworkProcessWatch() {
  for (const auto& [pid, watched] : watched_) {
    g_source_remove(watched.source);
    ::close(watched.pidfd);
  }
}

int NetworkProcessWatch::Look() {
  int found = 0;
  std::error_code ec;
  for (std::filesystem::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (entry.find_first_not_of("0123456789") != std::string::npos) continue;
    const auto pid = static_cast<pid_t>(std::atol(entry.c_str()));
    if (watched_.count(pid)) continue;
    const Stat stat = StatOf(pid);
    // An ended process stays listed until it is reaped: it is no network process any more.
    if (stat.parent != ::getpid() || stat.name != kNetworkProcessName || stat.state == 'Z' || stat.state == 'X')
      continue;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) continue;
    // The descriptor becomes readable when the process has ended.
    struct Data {
      NetworkProcessWatch* watch;
      pid_t pid;
    };
    auto data = std::make_unique<Data>(Data{this, pid});
    const unsigned source = g_unix_fd_add_full(
        G_PRIORITY_DEFAULT, pidfd, G_IO_IN,
        +[](int, GIOCondition, gpointer raw) -> gboolean {
          const auto* d = static_cast<Data*>(raw);
          d->watch->Ended(d->pid);
          return G_SOURCE_REMOVE;
        },
        data.release(), +[](gpointer raw) { const std::unique_ptr<Data> adopted(static_cast<Data*>(raw)); });
    watched_[pid] = Watched{pidfd, source};
    ++found;
  }
  return found;
}

void NetworkProcessWatch::Ended(pid_t pid) {
  const auto it = watched_.find(pid);
  if (it == watched_.end()) return;
  ::close(it->second.pidfd);
  watched_.erase(it);  // its source removes itself by returning G_SOURCE_REMOVE
  if (ended) ended();
}

}  // namespace tavro::platform::gtk
