// Numbered sequential input files with the runtime's error numbers.
#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <limits>

#include "errors.h"

namespace tavro::platform {

std::string FolderOf(const std::string& pathName) {
  std::error_code ec;
  const std::filesystem::path path(pathName);
  std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  if (folder.is_relative()) {
    const auto cwd = std::filesystem::current_path(ec);
    folder = ec ? folder : (cwd / folder).lexically_normal();
  }
  std::string dir = folder.string();
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string DescribeLocation(const std::string& pathName) {
  return "'" + std::filesystem::path(pathName).filename().string() + "' in folder '" + FolderOf(pathName) + "'";
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

FileDescriptor OpenRegularFile(const std::string& pathName) {
  if (pathName.empty() || pathName.find('\0') != std::string::npos)
    throw RuntimeError(kBadFileNameOrNumber, "Bad file name or number");
  // Non-blocking for the open only: a FIFO in the file's place must not hold the program.
  FileDescriptor file(::open(pathName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.Get() < 0) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR)
      throw RuntimeError(kFileNotFound, "File not found: " + DescribeLocation(pathName), pathName);
    throw RuntimeError(kPathFileAccessError, "Path/File access error: " + DescribeLocation(pathName), pathName);
  }
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode))
    throw RuntimeError(kPathFileAccessError,
                       "Path/File access error: " + DescribeLocation(pathName) + " is not a file", pathName);
  ::fcntl(file.Get(), F_SETFL, ::fcntl(file.Get(), F_GETFL) & ~O_NONBLOCK);
  return file;
}

std::optional<std::string> ReadRegularFile(const std::string& pathName, std::size_t maxBytes) {
  const FileDescriptor file = OpenRegularFile(pathName);
  struct stat st {};
  if (::fstat(file.Get(), &st) != 0)
    throw RuntimeError(kPathFileAccessError, "Path/File access error: " + DescribeLocation(pathName));
  if (static_cast<std::uint64_t>(st.st_size) > maxBytes) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  // A file that shrinks while it is read gives what it still holds; one that grows, its first bytes.
  while (done < bytes.size()) {
    const ssize_t n = ::read(file.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      throw RuntimeError(kPathFileAccessError, "Path/File access error: " + DescribeLocation(pathName));
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

void SequentialFiles::OpenForInput(const std::string& pathName, int fileNumber) {
  if (fileNumber < 1 || fileNumber > 511)
    throw RuntimeError(kBadFileNameOrNumber, "Bad file name or number");
  if (open_.count(fileNumber)) throw RuntimeError(kFileAlreadyOpen, "File already open");
  open_.emplace(fileNumber, OpenFile{OpenRegularFile(pathName), pathName});
}

const SequentialFiles::OpenFile& SequentialFiles::Find(int fileNumber) const {
  const auto it = open_.find(fileNumber);
  if (it == open_.end()) throw RuntimeError(kBadFileNameOrNumber, "Bad file name or number");
  return it->second;
}

std::int64_t SequentialFiles::LOF(int fileNumber) const {
  const OpenFile& file = Find(fileNumber);
  struct stat st {};
  if (::fstat(file.fd.Get(), &st) != 0)
    throw RuntimeError(kPathFileAccessError, "Path/File access error: " + DescribeLocation(file.name));
  return static_cast<std::int64_t>(st.st_size);
}

std::string SequentialFiles::InputB(std::int64_t count, int fileNumber) {
  const OpenFile& file = Find(fileNumber);
  if (count < 0 || static_cast<std::uint64_t>(count) > std::numeric_limits<std::size_t>::max() / 2)
    throw RuntimeError(kInvalidProcedureCall, "Invalid procedure call or argument");
  if (count > kLongestInput)
    throw RuntimeError(kOutOfMemory,
                       "Out of memory: " + DescribeLocation(file.name) + " holds " + std::to_string(count) +
                           " bytes, more than the " + std::to_string(kLongestInput / (std::int64_t{1024} * 1024)) +
                           " MB read of a file",
                       file.name);
  std::string bytes;
  try {
    bytes.resize(static_cast<std::size_t>(count));
  } catch (const std::bad_alloc&) {
    throw RuntimeError(kOutOfMemory, "Out of memory");
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(file.fd.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      throw RuntimeError(kPathFileAccessError, "Path/File access error: " + DescribeLocation(file.name));
    if (n == 0) throw RuntimeError(kInputPastEndOfFile, "Input past end of file: " + DescribeLocation(file.name));
    done += static_cast<std::size_t>(n);
  }
  std::error_code ec;
  const std::filesystem::path where = std::filesystem::absolute(file.name, ec);
  lastRead_ = Read{ec ? file.name : where.lexically_normal().string(), bytes};
  return bytes;
}

void SequentialFiles::Close(int fileNumber) {
  const auto it = open_.find(fileNumber);
  if (it == open_.end()) return;  // closing a closed file is no error
  open_.erase(it);
}

}  // namespace tavro::platform
