// The sandbox's notes in the session's runtime folder: Clean takes away this process's notes and
// the folders made for them, and nothing else. A scratch folder stands for the runtime folder.
#include "sandbox_leftovers.h"

#include <glib.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "fake/scratch_folder.h"

namespace tavro::platform::gtk {
namespace {

namespace fs = std::filesystem;

class SandboxLeftoversTest : public tavro::fake::ScratchFolderTest {
 protected:
  // GLib reads XDG_RUNTIME_DIR once per process; the scratch folder keeps its name between the
  // tests of one process, so every test here gets it.
  void SetUp() override {
    ScratchFolderTest::SetUp();
    ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    ASSERT_EQ(fs::path(g_get_user_runtime_dir()), folder_) << "the runtime folder was read before the test set it";
  }

  // A note of a sandboxed web process, as the launcher leaves it: a folder holding a file.
  fs::path Note(const std::string& name) {
    const fs::path note = folder_ / ".flatpak" / name;
    fs::create_directories(note);
    WriteFile(note / "bwrapinfo.json", "{}");
    return note;
  }
  static std::string Ours(int n) { return "webkit-" + std::to_string(::getpid()) + "-" + std::to_string(n); }

  // Every path below the runtime folder, relative to it.
  std::set<std::string> Left() const {
    std::set<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder_))
      out.insert(fs::relative(e.path(), folder_).string());
    return out;
  }
};

TEST_F(SandboxLeftoversTest, TakesAwayItsNotesAndTheFoldersMadeForThemEvenTwice) {
  const SandboxLeftovers leftovers;  // before any web process: neither folder is there yet
  Note(Ours(1));
  Note(Ours(2));
  WriteFile(fs::path(".flatpak") / Ours(3), "");  // a note that is a file
  fs::create_directories(folder_ / "webkitgtk");   // the proxies' folder, emptied as they ended
  leftovers.Clean();
  EXPECT_EQ(Left(), std::set<std::string>{});
  leftovers.Clean();
  EXPECT_EQ(Left(), std::set<std::string>{});
}

TEST_F(SandboxLeftoversTest, LeavesEverythingElseAndTheFoldersThatHoldIt) {
  WriteFile("bus", "");
  const SandboxLeftovers leftovers;
  const std::string pid = std::to_string(::getpid());
  Note(Ours(1));
  Note("webkit-" + pid + "0-1");            // another process whose id begins with ours
  Note("webkit-1-" + pid);                  // another process's, ending with ours
  Note("1234567890");                       // an application's instance
  fs::create_directories(folder_ / "webkitgtk");
  WriteFile(fs::path("webkitgtk") / "dbus-proxy-another", "");
  // A note that is a link: the link goes, what it points to stays.
  fs::create_directories(folder_ / "elsewhere");
  WriteFile(fs::path("elsewhere") / "keep", "x");
  fs::create_directory_symlink(folder_ / "elsewhere", folder_ / ".flatpak" / Ours(2));

  leftovers.Clean();
  EXPECT_EQ(Left(), (std::set<std::string>{
                        "bus", ".flatpak",
                        ".flatpak/webkit-" + pid + "0-1", ".flatpak/webkit-" + pid + "0-1/bwrapinfo.json",
                        ".flatpak/webkit-1-" + pid, ".flatpak/webkit-1-" + pid + "/bwrapinfo.json",
                        ".flatpak/1234567890", ".flatpak/1234567890/bwrapinfo.json",
                        "webkitgtk", "webkitgtk/dbus-proxy-another", "elsewhere", "elsewhere/keep"}));
}

TEST_F(SandboxLeftoversTest, FoldersThatWereThereBeforeStayEvenWhenEmpty) {
  fs::create_directories(folder_ / ".flatpak");
  fs::create_directories(folder_ / "webkitgtk");
  const SandboxLeftovers leftovers;
  Note(Ours(1));
  leftovers.Clean();
  EXPECT_EQ(Left(), (std::set<std::string>{".flatpak", "webkitgtk"}));
}

}  // namespace
}  // namespace tavro::platform::gtk
