// What other desktop programs hand to the site's pages: a screenshot on the clipboard pasted with
// Ctrl+V, text copied and pasted both ways, files dragged from a file manager onto a drop zone.
// Another program of the tests' own (desktop-peer) stands in for the screenshot tool and the file
// manager; the lab pages report what they got to the site.
#include <fstream>

#include "browser_fixture.h"

namespace tavro::browser {
namespace {

namespace fs = std::filesystem;

// The checksum the lab pages compute over a file's bytes (FNV-1a, 32 bits, in hex).
std::string Fnv1a(const std::string& bytes) {
  std::uint32_t h = 0x811c9dc5U;
  for (const unsigned char c : bytes) h = (h ^ c) * 0x01000193U;
  char out[9];
  std::snprintf(out, sizeof out, "%08x", h);
  return out;
}

std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

class PasteAndDropTest : public BrowserTest {
 protected:
  // desktop-peer with the arguments, until the test ends.
  Process& StartPeer(const std::vector<std::string>& args) {
    ProcessOptions p;
    p.argv = {DESKTOP_PEER_BIN};
    p.argv.insert(p.argv.end(), args.begin(), args.end());
    p.env = {{"DISPLAY", x_->DisplayName()}};
    const auto log = dir_.Sub("peer-" + std::to_string(peers_.size()));
    p.stdoutPath = log / "out";
    p.stderrPath = log / "err";
    peers_.push_back(std::make_unique<Process>(p));
    return *peers_.back();
  }
  static bool PeerSaid(Process& peer, const std::string& line) {
    return ("\n" + peer.Stdout()).find("\n" + line + "\n") != std::string::npos;
  }
  static bool WaitPeerSays(Process& peer, const std::string& line) {
    return WaitUntil([&] { return PeerSaid(peer, line) || !peer.Running(); }, 20s) && PeerSaid(peer, line);
  }

  // What the lab page reported so far, in order.
  std::vector<std::string> Reports() const {
    std::vector<std::string> out;
    const std::string prefix = "/kefu/lab/report?";
    for (const auto& r : site_->Requests())
      if (r.target.rfind(prefix, 0) == 0) out.push_back(PercentDecoded(r.target.substr(prefix.size())));
    return out;
  }
  // The first report that starts with the text, once there is one; empty otherwise.
  std::string WaitReport(const std::string& start, std::chrono::milliseconds timeout = 20s) {
    std::string found;
    WaitUntil(
        [&] {
          for (const auto& r : Reports())
            if (r.rfind(start, 0) == 0) found = r;
          return !found.empty();
        },
        timeout);
    return found;
  }
  std::string AllReports() const {
    std::string out;
    for (const auto& r : Reports()) out += "\n  " + r;
    return out;
  }

  XWindow StartOnLabPage(const std::string& path, const std::string& readyTitle) {
    StartX();
    StartSite();
    AddressLabPage(path);
    StartTavro();
    const XWindow main = MainWindowMapped();
    if (!WaitForCaption(readyTitle, 30s)) throw std::runtime_error("the lab page did not show: " + app_->Caption());
    return main;
  }

  // Keys typed together, without a pause: the second arrives while the first is being handled.
  void KeysAtOnce(XWindow window, const std::vector<std::string>& keys) {
    x_->Focus(window);
    ProcessOptions p;
    p.argv = {"xdotool", "key", "--delay", "0"};
    p.argv.insert(p.argv.end(), keys.begin(), keys.end());
    p.env = {{"DISPLAY", x_->DisplayName()}};
    ASSERT_EQ(RunToEnd(p, 20s), 0);
  }

  // A picture of noise: about 1.4 MB that does not compress, more than one piece of an X
  // selection transfer.
  fs::path MakeScreenshot() {
    const fs::path png = dir_.Sub("files") / "shot.png";
    ProcessOptions p;
    p.argv = {"/usr/bin/python3", "-c",
              "import os, sys\nfrom PIL import Image\n"
              "Image.frombytes('RGB', (800, 600), os.urandom(800 * 600 * 3)).save(sys.argv[1])",
              png.string()};
    if (RunToEnd(p, 60s) != 0) throw std::runtime_error("could not make the picture");
    return png;
  }

  std::vector<std::unique_ptr<Process>> peers_;
};

TEST_F(PasteAndDropTest, APastedScreenshotReachesThePageAsOnePngFile) {
  const XWindow main = StartOnLabPage("/kefu/lab/paste.html", "paste ready");
  const fs::path png = MakeScreenshot();
  const std::string bytes = ReadFile(png);
  Process& tool = StartPeer({"offer", "image/png", png.string()});
  ASSERT_TRUE(WaitPeerSays(tool, "owner")) << tool.Stderr();

  // A key typed right after Ctrl+V still reaches the page.
  KeysAtOnce(main, {"ctrl+v", "k"});
  const std::string pasted = WaitReport("paste1 ");
  EXPECT_EQ(pasted, "paste1 items 1 text \"\" files 1 image/png " + std::to_string(bytes.size()) + " " + Fnv1a(bytes) +
                        " image.png")
      << AllReports();
  EXPECT_FALSE(WaitReport("value \"k\"").empty()) << AllReports();

  // One paste event for one Ctrl+V: a later key shows that nothing else came in between.
  input_->Key(main, "j");
  ASSERT_FALSE(WaitReport("value \"kj\"").empty()) << AllReports();
  EXPECT_TRUE(WaitReport("paste2", 0ms).empty()) << "a second paste event" << AllReports();
}

TEST_F(PasteAndDropTest, TextIsPastedAndCopiedAsBefore) {
  const XWindow main = StartOnLabPage("/kefu/lab/paste.html", "paste ready");
  const fs::path text = dir_.Sub("files") / "text.txt";
  WriteFileBytes(text, "订单 20240518-0097");
  Process& editor = StartPeer({"offer", "UTF8_STRING", text.string(), "text/plain;charset=utf-8", text.string()});
  ASSERT_TRUE(WaitPeerSays(editor, "owner")) << editor.Stderr();

  // The engine pastes the text into the box, and the key typed at once lands after it.
  KeysAtOnce(main, {"ctrl+v", "x"});
  EXPECT_EQ(WaitReport("paste1 "), "paste1 items 0 text \"订单 20240518-0097\" files 0") << AllReports();
  EXPECT_FALSE(WaitReport("value \"订单 20240518-0097x\"").empty()) << AllReports();

  // Shift+Insert pastes as well.
  KeysAtOnce(main, {"shift+Insert"});
  EXPECT_FALSE(WaitReport("value \"订单 20240518-0097x订单 20240518-0097\"").empty()) << AllReports();

  // Copied from the page, it reaches another program.
  input_->Key(main, "ctrl+a");
  input_->Key(main, "ctrl+c");
  ASSERT_TRUE(WaitPeerSays(editor, "lost")) << "the page's copy did not take the clipboard";
  Process& reader = StartPeer({"read-text"});
  ASSERT_TRUE(reader.Wait(20s)) << "the clipboard's text could not be read";
  EXPECT_EQ(reader.Stdout(), "text 订单 20240518-0097x订单 20240518-0097\n");
}

TEST_F(PasteAndDropTest, FilesDroppedFromAFileManagerReachTheDropHandler) {
  const XWindow main = StartOnLabPage("/kefu/lab/drop.html", "drop ready");
  const fs::path files = dir_.Sub("files");
  const fs::path note = files / "订单 0097.txt";
  WriteFileBytes(note, "发货时间：明天\n");
  const fs::path png = MakeScreenshot();
  const std::string noteBytes = ReadFile(note), pngBytes = ReadFile(png);

  Process& manager = StartPeer({"drag", "700", "100", note.string(), png.string()});
  ASSERT_TRUE(WaitPeerSays(manager, "ready")) << manager.Stderr();
  const auto [toX, toY] = ToRoot(main, 160, 450);  // below the header, on the page's drop zone
  input_->Drag(760, 140, toX - 760, toY - 140, 1, 20);

  const std::string dropped = WaitReport("drop ");
  EXPECT_EQ(dropped, "drop 2 text/plain " + std::to_string(noteBytes.size()) + " " + Fnv1a(noteBytes) +
                         " 订单 0097.txt | image/png " + std::to_string(pngBytes.size()) + " " + Fnv1a(pngBytes) +
                         " shot.png")
      << AllReports();
  EXPECT_TRUE(WaitPeerSays(manager, "end")) << "the file manager did not see the drag end";
}

// A page's script may write any file:// address into the list of a drag that starts in the
// page; dropped on a page, that list must not turn into the file's contents.
TEST_F(PasteAndDropTest, ADragFromAPageNeverHandsItTheFilesItsListNames) {
  const fs::path secret = dir_.Sub("files") / "secret.txt";
  WriteFileBytes(secret, "the agent's own file\n");
  const XWindow main = StartOnLabPage("/kefu/lab/drop.html?from=file://" + secret.string(), "drop ready");
  const auto [fromX, fromY] = ToRoot(main, 80, 290);  // the page's element to drag
  const auto [toX, toY] = ToRoot(main, 200, 500);
  input_->Drag(fromX, fromY, toX - fromX, toY - fromY, 1, 20);
  EXPECT_EQ(WaitReport("drop "), "drop 0") << AllReports();
}

}  // namespace
}  // namespace tavro::browser
