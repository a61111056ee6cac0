// Tavro's own options taken out of the command line, and the toolkit's left in it.
#include "command_line.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

using tavro::platform::gtk::CommandLine;
using tavro::platform::gtk::TakeOptions;

// A command line as main() gets it: writable words after the program's name, argv[argc] null.
class Words {
 public:
  explicit Words(const std::vector<std::string>& words) : words_{"tavro"} {
    words_.insert(words_.end(), words.begin(), words.end());
    for (auto& word : words_) argv_.push_back(word.data());
    argv_.push_back(nullptr);
    argc_ = static_cast<int>(words_.size());
  }
  Words(std::initializer_list<std::string> words) : Words(std::vector<std::string>(words)) {}
  Words(const Words&) = delete;
  Words& operator=(const Words&) = delete;

  CommandLine Take() {
    CommandLine line = TakeOptions(argc_, argv_.data());
    EXPECT_EQ(argv_[argc_], nullptr);
    return line;
  }
  // What is left for the toolkit, after the program's name.
  std::vector<std::string> Left() const {
    EXPECT_GE(argc_, 1);
    return {argv_.begin() + 1, argv_.begin() + argc_};
  }

 private:
  std::vector<std::string> words_;
  std::vector<char*> argv_;
  int argc_ = 0;
};

CommandLine Take(std::initializer_list<std::string> words) { return Words(words).Take(); }

TEST(TakeOptionsTest, FolderInEachOfItsSpellings) {
  for (const auto& spelling : std::vector<std::vector<std::string>>{
           {"-C", "/srv/kefu"}, {"--folder", "/srv/kefu"}, {"--folder=/srv/kefu"}, {"-C/srv/kefu"}}) {
    Words words(spelling);
    const CommandLine taken = words.Take();
    EXPECT_EQ(taken.folder, "/srv/kefu") << spelling[0];
    EXPECT_EQ(taken.error, "") << spelling[0];
    EXPECT_FALSE(taken.menu || taken.help || taken.version) << spelling[0];
    EXPECT_EQ(words.Left(), std::vector<std::string>{}) << spelling[0];
  }
  // The last one counts; an empty folder is a folder (that cannot be entered).
  EXPECT_EQ(Take({"-C", "a", "--folder=b", "-Cc"}).folder, "c");
  EXPECT_EQ(Take({"--folder="}).folder, "");
  EXPECT_EQ(Take({"-C="}).folder, "=");
  EXPECT_EQ(Take({}).folder, std::nullopt);
}

TEST(TakeOptionsTest, TheWordAfterAFolderOptionIsTheFolderWhateverItLooksLike) {
  Words menu{"-C", "--menu"};
  const CommandLine taken = menu.Take();
  EXPECT_EQ(taken.folder, "--menu");
  EXPECT_FALSE(taken.menu);
  EXPECT_EQ(taken.error, "");
  EXPECT_EQ(Take({"--folder", "-h"}).folder, "-h");
  EXPECT_FALSE(Take({"--folder", "-h"}).help);
  EXPECT_EQ(Take({"-C", "--"}).folder, "--");
  EXPECT_EQ(Take({"-C", "-Cx"}).folder, "-Cx");
  EXPECT_EQ(Take({"--folder", "--folder=x"}).folder, "--folder=x");
  EXPECT_EQ(Take({"-C--version"}).folder, "--version");
  EXPECT_FALSE(Take({"-C--version"}).version);
  // A folder's bytes as given, whatever the locale's character set makes of them.
  EXPECT_EQ(Take({"-C", "/tmp/\xff\xfe"}).folder, "/tmp/\xff\xfe");
  EXPECT_EQ(Take({"-C/tmp/\xe7\x95\x8c"}).folder, "/tmp/\xe7\x95\x8c");
}

TEST(TakeOptionsTest, WrongOptionsAreErrors) {
  EXPECT_EQ(Take({"-C"}).error, "-C needs a folder");
  EXPECT_EQ(Take({"--folder"}).error, "--folder needs a folder");
  EXPECT_EQ(Take({"--version", "--help", "--folder"}).error, "--folder needs a folder");
  EXPECT_EQ(Take({"-C", "a", "-C"}).error, "-C needs a folder");
  const std::string both = "--menu and -C/--folder each name the folder to run in; give one of them";
  EXPECT_EQ(Take({"--menu", "-C", "a"}).error, both);
  EXPECT_EQ(Take({"--folder=a", "--menu"}).error, both);
  EXPECT_EQ(Take({"-Ca", "--help", "--menu"}).error, both);
}

TEST(TakeOptionsTest, HelpVersionAndMenu) {
  EXPECT_TRUE(Take({"-h"}).help);
  EXPECT_TRUE(Take({"--help"}).help);
  EXPECT_TRUE(Take({"--version"}).version);
  const CommandLine menu = Take({"--menu"});
  EXPECT_TRUE(menu.menu);
  EXPECT_EQ(menu.folder, std::nullopt);
  EXPECT_EQ(menu.error, "");
  const CommandLine nothing = Take({});
  EXPECT_FALSE(nothing.help || nothing.version || nothing.menu);
  EXPECT_EQ(nothing.error, "");
}

TEST(TakeOptionsTest, TheToolkitsOptionsAndOtherWordsStayInOrder) {
  Words toolkit{"--gtk-debug=all", "--display", ":1",      "-C", "d",    "--g-fatal-warnings",
                "--frobnicate",    "--version", "--class", "x",  "file", "-x"};
  const CommandLine taken = toolkit.Take();
  EXPECT_EQ(taken.error, "");
  EXPECT_TRUE(taken.version);
  EXPECT_EQ(taken.folder, "d");
  EXPECT_EQ(toolkit.Left(),
            (std::vector<std::string>{"--gtk-debug=all", "--display", ":1", "--g-fatal-warnings",
                                      "--frobnicate", "--class", "x", "file", "-x"}));
  // Nothing of Tavro's: all of it stays, and so does everything after "--".
  Words untouched{"--display=:2", "--name", "agent", "--", "-C", "d", "--menu"};
  const CommandLine none = untouched.Take();
  EXPECT_EQ(none.folder, std::nullopt);
  EXPECT_FALSE(none.menu);
  EXPECT_EQ(untouched.Left(),
            (std::vector<std::string>{"--display=:2", "--name", "agent", "--", "-C", "d", "--menu"}));
}

}  // namespace
