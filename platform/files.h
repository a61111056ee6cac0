// The runtime's numbered files for sequential input, over POSIX file descriptors.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace tavro::platform {

// An open file descriptor, closed with its owner.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  int Get() const { return fd_; }
  int Release();

 private:
  int fd_ = -1;
};

// Opens a regular file for reading, never waiting on a pipe or device: "File not found" (53)
// when it is missing, "Path/File access error" (75) when it cannot be read or is no regular file.
// A relative name is resolved against the current working directory.
FileDescriptor OpenRegularFile(const std::string& pathName);

// The whole of a regular file (errors as OpenRegularFile), or nothing when it holds more than
// `maxBytes` bytes; then nothing of it is read.
std::optional<std::string> ReadRegularFile(const std::string& pathName, std::size_t maxBytes);

class SequentialFiles {
 public:
  SequentialFiles() = default;
  SequentialFiles(const SequentialFiles&) = delete;
  SequentialFiles& operator=(const SequentialFiles&) = delete;

  // A relative name is resolved against the current working directory. The file must exist.
  void OpenForInput(const std::string& pathName, int fileNumber);
  std::int64_t LOF(int fileNumber) const;
  // Exactly `count` raw bytes from the current position; count 0 gives none. More than
  // kLongestInput bytes are refused ("Out of memory") before anything is read or kept.
  std::string InputB(std::int64_t count, int fileNumber);
  static constexpr std::int64_t kLongestInput = std::int64_t{16} * 1024 * 1024;
  void Close(int fileNumber);

  // What was last read from a file, and which file (its absolute path): so that a page that
  // cannot be shown for an address read from a file can say which file to mend.
  struct Read {
    std::string path;
    std::string bytes;
  };
  const std::optional<Read>& LastRead() const { return lastRead_; }

 private:
  struct OpenFile {
    FileDescriptor fd;
    std::string name;
  };
  const OpenFile& Find(int fileNumber) const;
  std::map<int, OpenFile> open_;
  std::optional<Read> lastRead_;
};

// "name" in folder "dir": how error reports name a file the program looked for.
std::string DescribeLocation(const std::string& pathName);
// The absolute folder a file name points into (the working directory for a bare name).
std::string FolderOf(const std::string& pathName);

}  // namespace tavro::platform
