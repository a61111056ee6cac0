// libFuzzer target: url.txt from the disk to the address the login view loads. Each input is
// written to url.txt, read back through the numbered files, decoded as the process's locale and
// as a few named character sets, and handed to the address fix-up with the login path.
//
// What must hold for any bytes at all:
//   - LOF is the file's length and InputB(LOF) gives back exactly the bytes written;
//   - every decoding is valid UTF-8, and UTF-8 input that is valid comes back unchanged;
//   - the fixed-up address is valid UTF-8 with no control characters and no spaces, carries a
//     scheme, and still ends with the login path.
#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/address.h"
#include "tests/fake/checks.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

namespace p = tavro::platform;

constexpr char kLogin[] = "/kefu/login.php?";

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

using tavro::fake::IsValidUtf8;

struct Folder {
  Folder() {
    char pattern[] = "/tmp/tavro-fuzz.XXXXXX";
    if (!::mkdtemp(pattern)) Broken("no temporary folder");
    path = pattern;
    file = path + "/url.txt";
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path, file;
};

void CheckAddress(const std::string& urladd) {
  const std::optional<std::string> fixed = p::FixUpAddress(urladd + kLogin);
  if (!fixed) {
    // Nothing to load only when the text names no host.
    const std::optional<std::string> host = p::FixUpAddress(urladd + "/");
    if (host) Broken("an address with a host gave nothing to load");
    return;
  }
  const std::string& address = *fixed;
  if (!IsValidUtf8(address)) Broken("the address is not valid UTF-8");
  for (unsigned char c : address)
    if (c <= 0x20 || c == 0x7F) Broken("a control character or space in the address");
  const std::string login(kLogin);
  if (address.size() < login.size() || address.compare(address.size() - login.size(), login.size(), login) != 0)
    Broken("the login path is no longer at the end");
  const auto colon = address.find(':');
  if (colon == std::string::npos || colon == 0) Broken("no scheme");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Folder folder;
  const std::string written(reinterpret_cast<const char*>(data), size);
  {
    const int fd = ::open(folder.file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, written.data(), written.size()) != static_cast<ssize_t>(written.size()))
      Broken("cannot write url.txt");
    ::close(fd);
  }

  try {
    p::SequentialFiles files;
    files.OpenForInput(folder.file, 1);
    const std::int64_t length = files.LOF(1);
    if (length != static_cast<std::int64_t>(size)) Broken("LOF is not the file's length");
    const std::string bytes = files.InputB(length, 1);
    if (bytes != written) Broken("InputB did not give back the bytes written");
    files.Close(1);

    for (const char* locale : {"C.UTF-8", "C"}) {
      if (!std::setlocale(LC_ALL, locale)) Broken("locale missing");
      const std::string urladd = p::StrConv(bytes, p::vbUnicode, 0);
      if (!IsValidUtf8(urladd)) Broken("StrConv gave invalid UTF-8");
      if (locale[1] == '.' && IsValidUtf8(bytes) && urladd != bytes) Broken("valid UTF-8 was changed");
      CheckAddress(urladd);
    }
    std::setlocale(LC_ALL, "C");
    for (const char* charset : {"GBK", "GB18030", "BIG5", "ISO-8859-1", "UTF-16LE", "no-such-charset"}) {
      const std::string text = p::DecodeCharset(bytes, charset);
      if (!IsValidUtf8(text)) Broken("DecodeCharset gave invalid UTF-8");
      CheckAddress(text);
    }
  } catch (const p::RuntimeError& e) {
    std::fprintf(stderr, "run-time error %d: %s\n", e.Number(), e.Description().c_str());
    Broken("a run-time error on a plain file");
  }
  return 0;
}
