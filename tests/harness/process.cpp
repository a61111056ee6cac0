#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tavro::test {
namespace {

namespace fs = std::filesystem;

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const fs::path candidate = fs::path(dir.empty() ? "." : dir) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  throw std::runtime_error("program not found on PATH: " + name);
}

std::vector<std::string> BuildEnvironment(const ProcessOptions& options) {
  std::map<std::string, std::string> merged;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const auto eq = entry.find('=');
    if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& name : options.unsetEnv) merged.erase(name);
  for (const auto& [name, value] : options.env) merged[name] = value;
  std::vector<std::string> out;
  out.reserve(merged.size());
  for (const auto& [name, value] : merged) out.push_back(name + "=" + value);
  return out;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Only async-signal-safe calls from here to execve: the test process may have threads.
[[noreturn]] void ChildExec(const std::string& program, char** argv, char** envp, const char* cwd,
                            const char* out, const char* err, int passFd, int errorPipe) {
  auto fail = [errorPipe](int step) {
    const int codes[2] = {step, errno};
    (void)!::write(errorPipe, codes, sizeof codes);
    ::_exit(127);
  };
  ::setpgid(0, 0);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  const int in = ::open("/dev/null", O_RDONLY);
  if (in < 0 || ::dup2(in, 0) < 0) fail(1);
  const int o = ::open(out, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
  if (o < 0 || ::dup2(o, 1) < 0) fail(2);
  const int e = ::open(err, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
  if (e < 0 || ::dup2(e, 2) < 0) fail(3);
  if (passFd >= 0) {
    if (passFd == 3) {
      ::fcntl(3, F_SETFD, 0);
    } else if (::dup2(passFd, 3) < 0) {
      fail(4);
    }
  }
  // Nothing else of the test process leaks into the child, except the error pipe (close-on-exec).
  for (int fd = passFd >= 0 ? 4 : 3; fd < 1024; ++fd)
    if (fd != errorPipe) ::close(fd);
  if (cwd[0] != '\0' && ::chdir(cwd) != 0) fail(5);
  ::execve(program.c_str(), argv, envp);
  fail(6);
  ::_exit(127);
}

}  // namespace

void Trace(const std::string& message) {
  static const bool on = [] {
    const char* v = std::getenv("TAVRO_HARNESS_TRACE");
    return v && std::string(v) == "1";
  }();
  if (!on) return;
  static const auto start = std::chrono::steady_clock::now();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  std::fprintf(stderr, "[harness %7lld ms] %s\n", static_cast<long long>(ms.count()), message.c_str());
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

Process::Process(ProcessOptions options) : options_(std::move(options)) {
  if (options_.argv.empty()) throw std::runtime_error("no program to start");
  const std::string program = FindProgram(options_.argv.front());
  std::vector<std::string> args = options_.argv;
  std::vector<std::string> env = BuildEnvironment(options_);
  auto argvPtrs = Pointers(args);
  auto envPtrs = Pointers(env);
  const std::string cwd = options_.workingDir.string();
  const std::string out = options_.stdoutPath.empty() ? "/dev/null" : options_.stdoutPath.string();
  const std::string err = options_.stderrPath.empty() ? "/dev/null" : options_.stderrPath.string();

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    ::close(pipeFds[0]);
    ChildExec(program, argvPtrs.data(), envPtrs.data(), cwd.c_str(), out.c_str(), err.c_str(),
              options_.passFd, pipeFds[1]);
  }
  ::setpgid(pid, pid);  // also here, so the group exists before anyone signals it
  ::close(pipeFds[1]);
  int codes[2] = {0, 0};
  const ssize_t got = ::read(pipeFds[0], codes, sizeof codes);
  ::close(pipeFds[0]);
  pid_ = pid;
  if (got > 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid_ = -1;
    throw std::runtime_error("cannot start " + program + " (step " + std::to_string(codes[0]) +
                             "): " + std::strerror(codes[1]));
  }
  Trace("started " + options_.argv.front() + " as " + std::to_string(pid));
  pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));  // -1 on old kernels: Wait then polls
}

Process::~Process() {
  if (pid_ <= 0) return;
  Trace("killing the group of " + options_.argv.front() + " (" + std::to_string(pid_) + ")");
  // The leader may be gone while helpers it started (web processes) are still in its group.
  ::kill(-pid_, SIGKILL);
  if (!exitCode_) {
    int status = 0;
    if (::waitpid(pid_, &status, 0) == pid_) Reaped(status);
  }
  if (pidfd_ >= 0) ::close(pidfd_);
}

void Process::Reaped(int status) {
  exitTime_ = std::chrono::steady_clock::now();
  Trace(options_.argv.front() + " (" + std::to_string(pid_) + ") ended, status " + std::to_string(status));
  if (WIFEXITED(status)) {
    exitCode_ = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    signalled_ = true;
    exitCode_ = 128 + WTERMSIG(status);
  } else {
    exitCode_ = -1;
  }
}

bool Process::Running() {
  if (exitCode_) return false;
  int status = 0;
  const pid_t r = ::waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    Reaped(status);
    return false;
  }
  return r == 0;
}

std::optional<int> Process::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Running()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    if (pidfd_ >= 0) {
      pollfd p{pidfd_, POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return exitCode_;
}

void Process::SignalGroup(int signal) {
  if (pid_ > 0) ::kill(-pid_, signal);
}

std::vector<pid_t> Process::LiveGroupMembers() const {
  std::vector<pid_t> out;
  if (pid_ <= 0) return out;
  DIR* proc = ::opendir("/proc");
  if (!proc) return out;
  while (const dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end) continue;
    // "pid (name) state ppid pgrp ...": the name may hold anything, so read after its last ')'.
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 1));
    char state = 0;
    long parent = 0, group = 0;
    if (fields >> state >> parent >> group && group == pid_ && state != 'Z' && state != 'X')
      out.push_back(static_cast<pid_t>(pid));
  }
  ::closedir(proc);
  return out;
}

void Process::Stop(std::chrono::milliseconds grace) {
  if (!Running()) return;
  SignalGroup(SIGTERM);
  if (!Wait(grace)) {
    SignalGroup(SIGKILL);
    Wait(std::chrono::milliseconds(5000));
  }
}

std::string Process::Stdout() const { return options_.stdoutPath.empty() ? "" : ReadFile(options_.stdoutPath); }
std::string Process::Stderr() const { return options_.stderrPath.empty() ? "" : ReadFile(options_.stderrPath); }

std::optional<int> RunToEnd(ProcessOptions options, std::chrono::milliseconds timeout) {
  Process p(std::move(options));
  return p.Wait(timeout);
}

}  // namespace tavro::test
