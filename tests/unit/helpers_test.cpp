// The toolkit-free helpers: decoding, search, rounding, checked division, numbered files, addresses.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <optional>

#include <cfenv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "fake/scratch_folder.h"
#include "fake/checks.h"
#include "fake/fake_platform.h"
#include "platform/address.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/numeric.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using tavro::fake::ErrorOf;
using tavro::fake::IsValidUtf8;
using tavro::fake::ScopedLocale;
using tavro::platform::RuntimeError;
namespace p = tavro::platform;

const std::string kFFFD = "\xEF\xBF\xBD";
const std::string kBom = "\xEF\xBB\xBF";

// ---- decoding ---------------------------------------------------------------------------------

TEST(StrConvTest, Utf8LocaleKeepsEveryValidByteAndReplacesEachInvalidOne) {
  ScopedLocale utf8("C.UTF-8");
  ASSERT_TRUE(utf8.ok());
  const auto decode = [](const std::string& bytes) { return p::StrConv(bytes, p::vbUnicode, 0); };
  EXPECT_EQ(decode(""), "");
  EXPECT_EQ(decode("http://例子.cn/\r\n"), "http://例子.cn/\r\n");
  EXPECT_EQ(decode("\xEF\xBB\xBFhttp://x"), "\xEF\xBB\xBFhttp://x");
  EXPECT_EQ(decode("a\0b\0"s), "a\0b\0"s);
  EXPECT_EQ(decode("a\xFF" "b"), "a" + kFFFD + "b");
  EXPECT_EQ(decode("\xC3"), kFFFD);                  // cut short at the end
  EXPECT_EQ(decode("\xE4\xBD" "x"), kFFFD + kFFFD + "x");
  const std::string big(10000, 'x');                 // more than one conversion buffer
  EXPECT_EQ(decode(big + "\xFF" + big), big + kFFFD + big);
  // glibc's UTF-8 decoder takes code points beyond Unicode as characters; they are not UTF-8.
  EXPECT_EQ(decode("http://x/\xF4\x90\x80\x80"), "http://x/" + kFFFD + kFFFD + kFFFD + kFFFD);  // U+110000
  EXPECT_EQ(decode("\xF7\xBF\xBF\xBF" "a"), kFFFD + kFFFD + kFFFD + kFFFD + "a");
  EXPECT_EQ(decode("\xF8\x88\x80\x80\x80"), kFFFD + kFFFD + kFFFD + kFFFD + kFFFD);  // five-byte form
  EXPECT_EQ(decode("\xF4\x8F\xBF\xBF"), "\xF4\x8F\xBF\xBF");                         // U+10FFFF stays
  EXPECT_TRUE(IsValidUtf8(p::DecodeCharset("\xFC\x84\x80\x80\x80\x80", "UTF-8")));
}

TEST(StrConvTest, AsciiLocaleReplacesEveryHighByte) {
  ScopedLocale c("C");
  ASSERT_TRUE(c.ok());
  EXPECT_EQ(p::StrConv("a\xC3\xA9z", p::vbUnicode, 0), "a" + kFFFD + kFFFD + "z");
  EXPECT_EQ(p::StrConv("http://x\r\n", p::vbUnicode, 0), "http://x\r\n");
}

TEST(StrConvTest, OnlyTheUnicodeConversionForTheProcessLocaleIsOffered) {
  EXPECT_EQ(ErrorOf([] { p::StrConv("x", 128, 0); }), 5);
  EXPECT_EQ(ErrorOf([] { p::StrConv("x", p::vbUnicode, 2052); }), 5);
}

TEST(DecodeCharsetTest, NamedCharsetsAndUnknownOnes) {
  EXPECT_EQ(p::DecodeCharset("\xC4\xE3\xBA\xC3 kefu", "GBK"), "你好 kefu");
  EXPECT_EQ(p::DecodeCharset("\xC4\xE3\xFF", "GBK"), "你" + kFFFD);
  EXPECT_EQ(p::DecodeCharset("ab\xE9", "NO-SUCH-CHARSET"), "ab" + kFFFD);
  // A lead byte with an invalid trail, then one cut short at the end.
  const std::string bad = p::DecodeCharset("http://x/\x81\x20y\xC4", "GBK");
  EXPECT_TRUE(IsValidUtf8(bad)) << bad;
  EXPECT_EQ(bad.rfind("http://x/", 0), 0u);
  EXPECT_NE(bad.find(kFFFD), std::string::npos);
  EXPECT_EQ(bad.substr(bad.size() - 3), kFFFD);
  EXPECT_NE(bad.find('y'), std::string::npos);
  // Nothing is lost around NUL bytes in any character set.
  for (const char* charset : {"GBK", "GB18030", "BIG5", "ISO-8859-1", "UTF-8", "no-such-charset"})
    EXPECT_EQ(p::DecodeCharset("a\0b\0"s, charset), "a\0b\0"s) << charset;
}

// ---- search -----------------------------------------------------------------------------------

TEST(InStrTest, CountsCharactersNotBytesAndMatchesExactly) {
  EXPECT_EQ(p::InStr(1, "QQ2865371", "QQ2865371", p::vbBinaryCompare), 1);
  EXPECT_EQ(p::InStr(1, "客服-QQ1", "QQ1", p::vbBinaryCompare), 4);
  EXPECT_EQ(p::InStr(1, "客服-qq1", "QQ1", p::vbBinaryCompare), 0);
  EXPECT_EQ(p::InStr(1, "abc", "abd", p::vbBinaryCompare), 0);
  EXPECT_EQ(p::InStr(1, "", "x", p::vbBinaryCompare), 0);
  EXPECT_EQ(p::InStr(1, "ab", "abc", p::vbBinaryCompare), 0);
  // From a later start: the earlier match is skipped, positions still count from the beginning.
  EXPECT_EQ(p::InStr(3, "x客x客", "x", p::vbBinaryCompare), 3);
  EXPECT_EQ(p::InStr(5, "x客x客", "客", p::vbBinaryCompare), 0);
  EXPECT_EQ(p::InStr(2, "ab", "", p::vbBinaryCompare), 2);
  // A byte match inside another character is no match: "\xBD\xA0" ends 你 (E4 BD A0).
  EXPECT_EQ(p::InStr(1, "你", "\xBD\xA0", p::vbBinaryCompare), 0);
}

TEST(InStrTest, InvalidStartOrCompareRaises) {
  EXPECT_EQ(ErrorOf([] { p::InStr(0, "a", "a", p::vbBinaryCompare); }), 5);
  EXPECT_EQ(ErrorOf([] { p::InStr(1, "a", "a", 1); }), 5);
}

// ---- arithmetic -------------------------------------------------------------------------------

TEST(CLngTest, HalvesGoToTheEvenNeighbourWhateverTheRoundingMode) {
  const std::pair<double, int> cases[] = {{0.5, 0},     {1.5, 2},     {2.5, 2},     {238.5, 238},
                                          {397.5, 398}, {-0.5, 0},    {-1.5, -2},   {-2.5, -2},
                                          {2.4999, 2},  {2.5001, 3},  {-2.6, -3}};
  for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    ASSERT_EQ(std::fesetround(mode), 0);
    for (const auto& [value, expected] : cases) EXPECT_EQ(p::CLng(value), expected) << value << " mode " << mode;
    EXPECT_EQ(std::fegetround(), mode) << "rounding mode not restored";
  }
  std::fesetround(FE_TONEAREST);
}

TEST(CLngTest, ValuesOutsideThirtyTwoBitsOverflow) {
  EXPECT_EQ(p::CLng(2147483647.0), 2147483647);
  EXPECT_EQ(p::CLng(2147483646.5), 2147483646);
  EXPECT_EQ(p::CLng(-2147483648.5), std::numeric_limits<std::int32_t>::min());  // ties to even
  for (double value : {2147483647.5, 2147483648.0, -2147483649.0, 4.77e9, HUGE_VAL, -HUGE_VAL, std::nan("")})
    EXPECT_EQ(ErrorOf([&] { p::CLng(value); }), 6) << value;
}

TEST(DivideTest, ZeroDivisorRaisesDivisionByZero) {
  EXPECT_FLOAT_EQ(p::Divide(4770, 15), 318);
  EXPECT_FLOAT_EQ(p::Divide(4770, 12), 397.5F);
  for (float divisor : {0.0F, -0.0F}) {
    EXPECT_EQ(ErrorOf([&] { p::Divide(4770, divisor); }), 11);
    EXPECT_EQ(ErrorOf([&] { p::Divide(0, divisor); }), 11);
  }
}

// ---- numbered files ---------------------------------------------------------------------------

class SequentialFilesTest : public tavro::fake::ScratchFolderTest {
 protected:
  void Write(const std::string& name, const std::string& bytes) { WriteFile(name, bytes); }
  p::SequentialFiles files_;
};

TEST_F(SequentialFilesTest, MissingFileNamesTheFileAndTheFolder) {
  try {
    files_.OpenForInput("url.txt", 1);
    FAIL() << "no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 53);
    EXPECT_NE(e.Description().find("'url.txt' in folder '" + folder_.string() + "'"), std::string::npos)
        << e.Description();
  }
  EXPECT_EQ(ErrorOf([&] { files_.OpenForInput("no/such/url.txt", 1); }), 53);
}

TEST_F(SequentialFilesTest, SomethingThatIsNotARegularFileIsAnAccessError) {
  fs::create_directory(folder_ / "url.txt");
  try {
    files_.OpenForInput("url.txt", 1);
    FAIL() << "no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 75);
    EXPECT_NE(e.Description().find("url.txt"), std::string::npos) << e.Description();
  }
  // A named pipe must be refused at once, not wait for a writer.
  ASSERT_EQ(::mkfifo((folder_ / "pipe").c_str(), 0600), 0);
  EXPECT_EQ(ErrorOf([&] { files_.OpenForInput("pipe", 1); }), 75);
  // Neither failure left the number taken.
  Write("ok.txt", "x");
  EXPECT_EQ(ErrorOf([&] { files_.OpenForInput("ok.txt", 1); }), 0);
}

TEST_F(SequentialFilesTest, ReadsExactRawBytes) {
  const std::string bytes = "\xEF\xBB\xBFhttp://x\0y\r\n\xFF"s;
  Write("url.txt", bytes);
  files_.OpenForInput("url.txt", 1);
  ASSERT_EQ(files_.LOF(1), static_cast<std::int64_t>(bytes.size()));
  EXPECT_EQ(files_.InputB(files_.LOF(1), 1), bytes);
  EXPECT_EQ(ErrorOf([&] { files_.InputB(1, 1); }), 62);
  files_.Close(1);
  files_.Close(1);  // closing twice is no error
  EXPECT_EQ(ErrorOf([&] { files_.LOF(1); }), 52);
}

TEST_F(SequentialFilesTest, AFileBeyondTheLongestReadIsRefusedAndTheFileStaysUsable) {
  Write("url.txt", "");
  fs::resize_file(folder_ / "url.txt", p::SequentialFiles::kLongestInput + 1);  // sparse: no disk used
  files_.OpenForInput("url.txt", 1);
  try {
    files_.InputB(files_.LOF(1), 1);
    FAIL() << "no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 7);
    EXPECT_EQ(e.File(), "url.txt");
    EXPECT_NE(e.Description().find("'url.txt'"), std::string::npos) << e.Description();
  }
  // Nothing was read: the file still starts at its beginning, and the longest read works.
  EXPECT_EQ(files_.InputB(p::SequentialFiles::kLongestInput, 1).size(),
            static_cast<std::size_t>(p::SequentialFiles::kLongestInput));
}

TEST_F(SequentialFilesTest, EmptyFileHasLengthZeroAndReadsNothing) {
  Write("url.txt", "");
  files_.OpenForInput("url.txt", 1);
  EXPECT_EQ(files_.LOF(1), 0);
  EXPECT_EQ(files_.InputB(0, 1), "");
}

TEST_F(SequentialFilesTest, FileNumbersAreCheckedAndReusableAfterClose) {
  Write("url.txt", "abc");
  files_.OpenForInput("url.txt", 1);
  EXPECT_EQ(ErrorOf([&] { files_.OpenForInput("url.txt", 1); }), 55);
  EXPECT_EQ(ErrorOf([&] { files_.OpenForInput("url.txt", 0); }), 52);
  EXPECT_EQ(ErrorOf([&] { files_.OpenForInput("url.txt", 512); }), 52);
  EXPECT_EQ(ErrorOf([&] { files_.InputB(-1, 1); }), 5);
  EXPECT_EQ(files_.InputB(2, 1), "ab");  // the failed calls did not disturb the open file
  files_.Close(1);
  files_.OpenForInput(folder_ / "url.txt", 1);
  EXPECT_EQ(files_.InputB(3, 1), "abc");
}

// ---- addresses --------------------------------------------------------------------------------

// Texts that name no host load nothing: a browser would make a host up out of the path
// ("http:///kefu" is host "kefu") or of a login path alone. A byte-order mark in front is white
// space, as anywhere in a browser's address bar; elsewhere it is part of the address.
TEST(FixUpAddressTest, CleansTheAddressAsAnAddressBarWould) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"  http://x/kefu/login.php?  ", "http://x/kefu/login.php?"},
      {"http://x\r\n/kefu/login.php?", "http://x/kefu/login.php?"},
      {"http://x/ke\tfu/lo\ngin.php", "http://x/kefu/login.php"},
      {"kefu.example.com", "http://kefu.example.com"},
      {"http://x", "http://x"},
      {"https://x/a b", "https://x/a%20b"},
      {"HTTPS://X", "HTTPS://X"},
      {"about:blank", "about:blank"},
      {"http://x/\x01\x7F" "a\0b"s, "http://x/%01%7Fa%00b"},
      {"localhost:8080/x", "http://localhost:8080/x"},
      {"javascript:alert(1)", "http://javascript:alert(1)"},
      {"[::1]:8080/x", "http://[::1]:8080/x"},
      {"user@kefu.example.com", "http://user@kefu.example.com"},
      {kBom + "http://x/kefu/login.php?", "http://x/kefu/login.php?"},
      {kBom + "kefu.example.com", "http://kefu.example.com"},
      {kBom + " \r\n" + kBom + "http://x", "http://x"},  // mixed with other white space
      {" " + kBom + "http://x", "http://x"},
      {"http://x/" + kBom, "http://x/" + kBom},  // not leading: part of the address
      {"\xEF\xBB" "http://x", "http://\xEF\xBB" "http://x"},  // half a mark is no mark
      {"\r\n/kefu/login.php?", std::nullopt}, {"/ajax.php?act=out", std::nullopt}, {"/", std::nullopt},
      {"", std::nullopt}, {"   \r\n\t ", std::nullopt}, {"http:///kefu/login.php?", std::nullopt},
      {"https://", std::nullopt}, {"http://?q", std::nullopt}, {"http://#f", std::nullopt},
      {"http://user@/x", std::nullopt}, {"http://:8080/x", std::nullopt}, {"?x", std::nullopt},
      {"#x", std::nullopt}, {"http:////kefu", std::nullopt}, {"http://\\kefu", std::nullopt},
      {"http://[::1", std::nullopt},
      {kBom + "/kefu/login.php?", std::nullopt},  // as an address of only a line break
      {kBom, std::nullopt},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(p::FixUpAddress(in), out) << in;
}

}  // namespace
