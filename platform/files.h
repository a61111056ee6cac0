// The runtime's numbered files for sequential input, over POSIX file descriptors.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace tavro::platform {

class SequentialFiles {
 public:
  SequentialFiles() = default;
  ~SequentialFiles();
  SequentialFiles(const SequentialFiles&) = delete;
  SequentialFiles& operator=(const SequentialFiles&) = delete;

  // A relative name is resolved against the current working directory. The file must exist.
  void OpenForInput(const std::string& pathName, int fileNumber);
  std::int64_t LOF(int fileNumber) const;
  // Exactly `count` raw bytes from the current position; count 0 gives none.
  std::string InputB(std::int64_t count, int fileNumber);
  void Close(int fileNumber);

 private:
  struct OpenFile {
    int fd = -1;
    std::string name;
  };
  const OpenFile& Find(int fileNumber) const;
  std::map<int, OpenFile> open_;
};

// "name" in folder "dir": how error reports name a file the program looked for.
std::string DescribeLocation(const std::string& pathName);

}  // namespace tavro::platform
