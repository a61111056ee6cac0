// url.txt as people really leave it: empty, only a line break, saved with a byte-order mark,
// in another character set, with NUL bytes, or huge. Read from disk through the real numbered
// files and decoder, handed to Form1, and then read by the browser views' address fix-up.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <fstream>
#include <string>
#include <vector>

#include "fake/scratch_folder.h"
#include "fake/checks.h"
#include "app/form/form1_design.h"
#include "app/form1.h"
#include "fake/fake_platform.h"
#include "platform/address.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;
namespace p = tavro::platform;
using namespace std::string_literals;
using tavro::fake::IsValidUtf8;
using tavro::fake::ScopedLocale;

const std::string kFFFD = "\xEF\xBF\xBD";
const std::string kBom = "\xEF\xBB\xBF";
const std::string kLogin = "/kefu/login.php?";

// The first control character or space of an address, or npos.
std::size_t FirstUnsafe(const std::string& address) {
  for (std::size_t i = 0; i < address.size(); ++i) {
    const auto c = static_cast<unsigned char>(address[i]);
    if (c <= 0x20 || c == 0x7F) return i;
  }
  return std::string::npos;
}

// The fake runtime with the real numbered files: Form1 reads url.txt from the disk.
class DiskRuntime : public tavro::fake::FakeRuntime {
 public:
  using FakeRuntime::FakeRuntime;
  void OpenForInput(const std::string& pathName, int fileNumber) override { files_.OpenForInput(pathName, fileNumber); }
  std::int64_t LOF(int fileNumber) override { return files_.LOF(fileNumber); }
  std::string InputB(std::int64_t count, int fileNumber) override { return files_.InputB(count, fileNumber); }
  void Close(int fileNumber) override { files_.Close(fileNumber); }

 private:
  p::SequentialFiles files_;
};

class AddressFileTest : public tavro::fake::ScratchFolderTest {
 protected:
  void WriteAddress(const std::string& bytes) { WriteFile("url.txt", bytes); }
  // Form_Load over the file; the addresses the login view was handed.
  std::vector<std::string> Load() {
    form1_.Form_Load();
    return form_.Browser("WebBrowser1").navigated;
  }

  tavro::fake::CallLog log_;
  DiskRuntime runtime_{log_};
  tavro::fake::FakeWindowSystem user32_{log_};
  tavro::fake::FakeForm form_{log_, tavro::app::Form1Design()};
  tavro::app::Form1 form1_{runtime_, user32_, form_};
};

TEST_F(AddressFileTest, MissingFileOrAFolderRaisesAndNothingIsRequested) {
  try {
    Load();
    FAIL() << "no error for a missing url.txt";
  } catch (const p::RuntimeError& e) {
    EXPECT_EQ(e.Number(), 53);
    EXPECT_NE(e.Description().find("'url.txt' in folder '" + folder_.string() + "'"), std::string::npos)
        << e.Description();
  }
  fs::create_directory(folder_ / "url.txt");
  try {
    Load();
    FAIL() << "no error for a folder named url.txt";
  } catch (const p::RuntimeError& e) {
    EXPECT_EQ(e.Number(), 75);
    EXPECT_NE(e.Description().find("url.txt"), std::string::npos) << e.Description();
  }
  EXPECT_TRUE(form_.Browser("WebBrowser1").navigated.empty());
  EXPECT_TRUE(form_.Browser("WebBrowser2").navigated.empty());
}

TEST_F(AddressFileTest, ZeroBytesRemindAndRequestNothing) {
  WriteAddress("");
  EXPECT_TRUE(Load().empty());
  EXPECT_EQ(form1_.urladd, "");
  EXPECT_NE(std::find(log_.begin(), log_.end(), "MsgBox(在url.txt填写您的网址地址即可运行,0)"), log_.end());
  EXPECT_TRUE(form_.Browser("WebBrowser2").navigated.empty());
}

struct FileCase {
  const char* label;
  const char* locale;
  std::string bytes;
  std::string urladd;   // kept whole, decoded
  std::optional<std::string> address;  // what the login view loads; nothing without a host
};

class AddressFileCaseTest : public AddressFileTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(AddressFileCaseTest, KeptWholeAndLoadedAsAFixedUpAddress) {
  const FileCase& c = GetParam();
  ScopedLocale locale(c.locale);
  ASSERT_TRUE(locale.ok()) << c.locale;
  WriteAddress(c.bytes);
  const auto navigated = Load();
  EXPECT_EQ(form1_.urladd, c.urladd);
  EXPECT_TRUE(IsValidUtf8(form1_.urladd));
  ASSERT_EQ(navigated.size(), 1u);
  EXPECT_EQ(navigated[0], c.urladd + kLogin);  // no truncation at a NUL or anywhere else
  const std::optional<std::string> address = p::FixUpAddress(navigated[0]);
  EXPECT_EQ(address, c.address);
  if (address) EXPECT_EQ(FirstUnsafe(*address), std::string::npos) << *address;
}

INSTANTIATE_TEST_SUITE_P(
    Files, AddressFileCaseTest,
    ::testing::Values(
        FileCase{"OnlyCrLf", "C.UTF-8", "\r\n", "\r\n", std::nullopt},
        FileCase{"OnlySpaces", "C.UTF-8", "   ", "   ", std::nullopt},
        FileCase{"SchemeWithoutHost", "C.UTF-8", "http://\r\n", "http://\r\n", std::nullopt},
        FileCase{"ByteOrderMark", "C.UTF-8", kBom + "http://127.0.0.1:8080", kBom + "http://127.0.0.1:8080",
                 "http://127.0.0.1:8080/kefu/login.php?"},
        FileCase{"ByteOrderMarkAndLineBreak", "C.UTF-8", kBom + "http://x\r\n", kBom + "http://x\r\n",
                 "http://x/kefu/login.php?"},
        FileCase{"InvalidUtf8", "C.UTF-8", "http://x/\xFF\xC3(", "http://x/" + kFFFD + kFFFD + "(",
                 "http://x/" + kFFFD + kFFFD + "(/kefu/login.php?"},
        FileCase{"HighBytesUnderC", "C", "http://x/\xC3\xA9", "http://x/" + kFFFD + kFFFD,
                 "http://x/" + kFFFD + kFFFD + "/kefu/login.php?"},
        FileCase{"NulBytes", "C.UTF-8", "http://x/a\0b\0"s, "http://x/a\0b\0"s, "http://x/a%00b%00/kefu/login.php?"},
        FileCase{"LeadingNuls", "C.UTF-8", "\0\0http://x"s, "\0\0http://x"s, "http://x/kefu/login.php?"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(AddressFileTest, TenMegabytesAreReadWholeAndStayOneAddress) {
  ScopedLocale utf8("C.UTF-8");
  ASSERT_TRUE(utf8.ok());
  std::string text = "http://127.0.0.1:8080/?q=";
  const std::string line = "客服 kefu line\r\n";
  while (text.size() < 10u * 1024 * 1024) text += line;
  text.resize(10u * 1024 * 1024 - 1);
  text += "x";  // may cut a character before it: its bytes become U+FFFD
  WriteAddress(text);
  const auto navigated = Load();
  ASSERT_EQ(navigated.size(), 1u);
  EXPECT_TRUE(IsValidUtf8(form1_.urladd));
  EXPECT_GE(form1_.urladd.size(), text.size());
  EXPECT_EQ(form1_.urladd.compare(0, 25, text, 0, 25), 0);
  EXPECT_EQ(form1_.urladd.back(), 'x');
  const std::string address = p::FixUpAddress(navigated[0]).value_or("");
  EXPECT_EQ(FirstUnsafe(address), std::string::npos);
  EXPECT_EQ(address.rfind("x/kefu/login.php?"), address.size() - 17);
}

// ---- decoding in other character sets -----------------------------------------------------

TEST(AddressDecodingTest, GbkAddressesDecodeAndBadSequencesBecomeReplacements) {
  // 你好 in GBK, then a lead byte with an invalid trail, then one cut short at the end.
  EXPECT_EQ(p::DecodeCharset("http://x/\xC4\xE3\xBA\xC3", "GBK"), "http://x/你好");
  const std::string bad = p::DecodeCharset("http://x/\x81\x20y\xC4", "GBK");
  EXPECT_TRUE(IsValidUtf8(bad)) << bad;
  EXPECT_EQ(bad.rfind("http://x/", 0), 0u);
  EXPECT_NE(bad.find(kFFFD), std::string::npos);
  EXPECT_EQ(bad.substr(bad.size() - 3), kFFFD);
  EXPECT_NE(bad.find('y'), std::string::npos);
  // Nothing is lost around NUL bytes in any character set.
  for (const char* charset : {"GBK", "GB18030", "BIG5", "ISO-8859-1", "UTF-8", "no-such-charset"}) {
    const std::string out = p::DecodeCharset("a\0b\0"s, charset);
    EXPECT_EQ(out, "a\0b\0"s) << charset;
  }
}

TEST(AddressDecodingTest, CodePointsBeyondUnicodeUnderUtf8BecomeReplacements) {
  // glibc's UTF-8 decoder takes these as characters; they are not UTF-8, and the address must be.
  ScopedLocale utf8("C.UTF-8");
  ASSERT_TRUE(utf8.ok());
  const auto decode = [](const std::string& bytes) { return p::StrConv(bytes, p::vbUnicode, 0); };
  EXPECT_EQ(decode("http://x/\xF4\x90\x80\x80"), "http://x/" + kFFFD + kFFFD + kFFFD + kFFFD);  // U+110000
  EXPECT_EQ(decode("\xF7\xBF\xBF\xBF" "a"), kFFFD + kFFFD + kFFFD + kFFFD + "a");
  EXPECT_EQ(decode("\xF8\x88\x80\x80\x80"), kFFFD + kFFFD + kFFFD + kFFFD + kFFFD);  // five-byte form
  EXPECT_EQ(decode("\xF4\x8F\xBF\xBF"), "\xF4\x8F\xBF\xBF");                         // U+10FFFF stays
  EXPECT_TRUE(IsValidUtf8(p::DecodeCharset("\xFC\x84\x80\x80\x80\x80", "UTF-8")));
}

// ---- the browser's reading of a byte-order mark ------------------------------------------

TEST(AddressByteOrderMarkTest, ALeadingMarkIsWhiteSpaceAndNoneElsewhereIs) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {kBom + "http://x/kefu/login.php?", "http://x/kefu/login.php?"},
      {kBom + "kefu.example.com", "http://kefu.example.com"},
      {kBom + " \r\n" + kBom + "http://x", "http://x"},  // mixed with other white space
      {" " + kBom + "http://x", "http://x"},
      {kBom + "/kefu/login.php?", std::nullopt},  // as an address of only a line break
      {kBom, std::nullopt},
      {"http://x/" + kBom, "http://x/" + kBom},  // not leading: part of the address
      {"\xEF\xBB" "http://x", "http://\xEF\xBB" "http://x"},  // half a mark is no mark
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(p::FixUpAddress(in), out) << in;
}

}  // namespace
