// A child process in a process group of its own, with its output captured to files.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavro::test {

struct ProcessOptions {
  std::vector<std::string> argv{};              // argv[0] is the program: a path, or a name on PATH
  std::map<std::string, std::string> env{};     // added to (or replacing in) the test's environment
  std::vector<std::string> unsetEnv{};          // removed from the environment
  std::filesystem::path workingDir{};           // empty: the test's working directory
  std::filesystem::path stdoutPath{};           // empty: /dev/null
  std::filesystem::path stderrPath{};           // empty: /dev/null
  int passFd = -1;                              // handed to the child as its fd 3 (for -displayfd)
};

class Process {
 public:
  // Starts the program; throws std::runtime_error when it cannot be started.
  explicit Process(ProcessOptions options);
  // Kills the whole process group (what is left of it) and reaps the child.
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t Pid() const { return pid_; }
  // True until the child has exited (reaps it when it has).
  bool Running();
  // Waits for the child to exit; its exit code (128 + signal number when a signal ended it),
  // or nothing on time-out.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  // The exit code once the child has been reaped.
  std::optional<int> ExitCode() const { return exitCode_; }
  // True when a signal ended the child.
  bool Signalled() const { return signalled_; }
  // When the exit was noticed (precise to about a millisecond when waited for with Wait).
  std::chrono::steady_clock::time_point ExitTime() const { return exitTime_; }
  // Sends the signal to every process of the group.
  void SignalGroup(int signal);
  // The processes of the group that still run (a zombie no longer does): helpers such as web
  // processes may outlive the child for a while.
  std::vector<pid_t> LiveGroupMembers() const;
  // SIGTERM to the group, then SIGKILL when the child is still there after the grace period.
  void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));

  std::string Stdout() const;
  std::string Stderr() const;
  const ProcessOptions& Options() const { return options_; }

 private:
  void Reaped(int status);

  ProcessOptions options_;
  pid_t pid_ = -1;
  int pidfd_ = -1;
  std::optional<int> exitCode_;
  bool signalled_ = false;
  std::chrono::steady_clock::time_point exitTime_{};
};

// With TAVRO_HARNESS_TRACE=1, prints the message with a time stamp to stderr (for finding out where
// a slow test spends its time).
void Trace(const std::string& message);

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Runs a program to its end; its exit code, or nothing when it did not end in time (then it is
// killed). Output goes to the given files, or nowhere.
std::optional<int> RunToEnd(ProcessOptions options, std::chrono::milliseconds timeout);

}  // namespace tavro::test
