// The parts of the harness whose faults the gui and e2e tests could not see for themselves: the
// GIF decoder that supplies their expected pixels, and process groups that must not outlive a test.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "image.h"
#include "process.h"
#include "temp_dir.h"
#include "wait.h"

namespace tavro::test {
namespace {

namespace fs = std::filesystem;

// Pixels and transparency as ImageMagick decodes the file; empty when it is not installed.
std::optional<DecodedPicture> ReferenceDecode(const fs::path& gif, const fs::path& scratch, int w, int h) {
  if (::access("/usr/bin/convert", X_OK) != 0) return std::nullopt;
  ProcessOptions p;
  p.argv = {"/usr/bin/convert", gif.string() + "[0]", "-depth", "8", "rgba:" + (scratch / "ref.rgba").string()};
  if (RunToEnd(p, 60s) != 0) return std::nullopt;
  const std::string bytes = ReadFile(scratch / "ref.rgba");
  if (bytes.size() != std::size_t(w) * h * 4) return std::nullopt;
  DecodedPicture out{RgbImage(w, h), std::vector<bool>(std::size_t(w) * h)};
  for (int i = 0; i < w * h; ++i) {
    const auto* px = reinterpret_cast<const unsigned char*>(bytes.data()) + i * 4;
    out.image.SetPixel(i % w, i / w, Rgb{px[0], px[1], px[2]});
    out.opaque[i] = px[3] > 127;
  }
  return out;
}

void ExpectSamePicture(const fs::path& gif, const fs::path& scratch) {
  SCOPED_TRACE(gif.string());
  const DecodedPicture mine = DecodeGif(gif);
  const auto reference = ReferenceDecode(gif, scratch, mine.image.Width(), mine.image.Height());
  if (!reference) GTEST_SKIP() << "ImageMagick's convert is not available to compare with";
  int wrong = 0;
  for (int y = 0; y < mine.image.Height(); ++y) {
    for (int x = 0; x < mine.image.Width(); ++x) {
      if (mine.Opaque(x, y) != reference->Opaque(x, y) ||
          (mine.Opaque(x, y) && !(mine.image.Pixel(x, y) == reference->image.Pixel(x, y))))
        ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(GifDecoderTest, AgreesWithImageMagickOnThePicturesTheTestsCompareAgainst) {
  TempDir dir("tavro-harness");
  for (const char* name : {"界面_03.gif", "界面_06.gif"}) ExpectSamePicture(SampleImagesDir() / name, dir.Path());
  ExpectSamePicture(fs::path(TAVRO_SOURCE_DIR) / "app/form/images/minimize.gif", dir.Path());
}

TEST(GifDecoderTest, AgreesWithImageMagickOnInterlacedPicturesWithATransparentColour) {
  if (::access("/usr/bin/convert", X_OK) != 0) GTEST_SKIP() << "ImageMagick's convert is not available";
  TempDir dir("tavro-harness");
  const fs::path gif = dir.Path() / "interlaced.gif";
  ProcessOptions p;
  p.argv = {"/usr/bin/convert", "-size", "37x29", "gradient:red-blue", "-fill", "lime", "-draw",
            "rectangle 5,3 20,17", "-transparent", "lime", "-interlace", "GIF", gif.string()};
  ASSERT_EQ(RunToEnd(p, 60s), 0);
  ExpectSamePicture(gif, dir.Path());
}

TEST(GifDecoderTest, RefusesFilesThatAreNotGifs) {
  TempDir dir("tavro-harness");
  WriteFileBytes(dir.Path() / "not.gif", "GIF88a and then some");
  EXPECT_THROW(DecodeGif(dir.Path() / "not.gif"), std::runtime_error);
  WriteFileBytes(dir.Path() / "short.gif", "GIF89a\x02\x00");
  EXPECT_THROW(DecodeGif(dir.Path() / "short.gif"), std::runtime_error);
}

TEST(ProcessTest, ReportsExitCodesSignalsAndTimeOuts) {
  TempDir dir("tavro-harness");
  Process exits({.argv = {"sh", "-c", "echo out; echo err >&2; exit 7"},
                 .stdoutPath = dir.Path() / "o",
                 .stderrPath = dir.Path() / "e"});
  EXPECT_EQ(exits.Wait(30s), 7);
  EXPECT_FALSE(exits.Signalled());
  EXPECT_EQ(exits.Stdout(), "out\n");
  EXPECT_EQ(exits.Stderr(), "err\n");

  Process sleeps({.argv = {"sleep", "60"}});
  EXPECT_EQ(sleeps.Wait(200ms), std::nullopt);
  EXPECT_TRUE(sleeps.Running());
  sleeps.SignalGroup(SIGTERM);
  EXPECT_EQ(sleeps.Wait(30s), 128 + SIGTERM);
  EXPECT_TRUE(sleeps.Signalled());

  EXPECT_THROW(Process({.argv = {"/nonexistent/program"}}), std::runtime_error);
}

TEST(ProcessTest, WorkingFolderAndEnvironmentReachTheChild) {
  TempDir dir("tavro-harness");
  Process p({.argv = {"sh", "-c", "pwd; echo \"$TAVRO_HARNESS_PROBE\"; echo \"${HOME-unset}\""},
             .env = {{"TAVRO_HARNESS_PROBE", "值 with spaces"}},
             .unsetEnv = {"HOME"},
             .workingDir = dir.Path(),
             .stdoutPath = dir.Path() / "o"});
  ASSERT_EQ(p.Wait(30s), 0);
  EXPECT_EQ(p.Stdout(), fs::canonical(dir.Path()).string() + "\n值 with spaces\nunset\n");
}

// A program's helpers (web processes) live in its group: ending the Process ends them too.
TEST(ProcessTest, DestructionEndsTheWholeProcessGroup) {
  TempDir dir("tavro-harness");
  const fs::path pidFile = dir.Path() / "helper.pid";
  pid_t helper = 0;
  {
    Process p({.argv = {"sh", "-c", "sleep 60 & echo $! > '" + pidFile.string() + "'; wait"}});
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(pidFile).find('\n') != std::string::npos; }, 30s));
    helper = std::stoi(ReadFile(pidFile));
    ASSERT_EQ(::kill(helper, 0), 0);
  }
  // Gone, or a zombie that its new parent has not reaped yet.
  const auto ended = [&] {
    const std::string stat = ReadFile("/proc/" + std::to_string(helper) + "/stat");
    const auto close = stat.rfind(')');
    return stat.empty() || (close != std::string::npos && stat.compare(close + 2, 1, "Z") == 0);
  };
  EXPECT_TRUE(WaitUntil(ended, 10s));
}

}  // namespace
}  // namespace tavro::test
