// Notices when one of the engine's network processes ends (a crash, or killed): an in-memory
// session then starts over empty in the next one. The engine says nothing of it, so the process
// is watched through the kernel.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>

namespace tavro::platform::gtk {

class NetworkProcessWatch {
 public:
  NetworkProcessWatch() = default;
  ~NetworkProcessWatch();
  NetworkProcessWatch(const NetworkProcessWatch&) = delete;
  NetworkProcessWatch& operator=(const NetworkProcessWatch&) = delete;

  // Runs after a watched network process has ended.
  std::function<void()> ended;

  // Starts watching the network processes of this program that run now and are not watched yet;
  // answers how many it found.
  int Look();

 private:
  struct Watched {
    int pidfd;
    unsigned source;
  };
  void Ended(pid_t pid);

  std::map<pid_t, Watched> watched_;
};

}  // namespace tavro::platform::gtk
