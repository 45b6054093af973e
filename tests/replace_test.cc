#include <gtest/gtest.h>

#include <string>

#include "engine/replace_in_file.h"
#include "engine/stream_replace.h"
#include "tests/fake_platform.h"

namespace quillmend {
namespace {

std::string replaced(const std::string& input, const std::string& find,
                     const std::string& replace, bool ignore_case, std::size_t block,
                     std::size_t chunk) {
  fake_platform os;
  os.read_chunk = chunk;
  status result;
  const std::string output =
      replace_through(os, input, find, replace, ignore_case, block, result);
  EXPECT_TRUE(result.is_ok()) << result.reason();
  return output;
}

TEST(StreamReplaceTest, ReplacesEveryOccurrenceAtAnyBlockSize) {
  const std::string big =
      std::string(5000, 'x') + "needle" + std::string(3000, 'y') + "needle";
  const std::string big_replaced =
      std::string(5000, 'x') + "pin" + std::string(3000, 'y') + "pin";
  const struct {
    std::string find, replace, input, expected;
    bool ignore_case;
  } cases[] = {
      {"ab", "X", "aab", "aX", false},
      // Leftmost, non-overlapping, and no occurrence missed after a false start.
      {"aab", "X", "aaab", "aX", false},
      {"abab", "X", "ababab", "Xab", false},
      {"aa", "X", "aaaaa", "XXa", false},
      {"abc", "X", "xab", "xab", false},
      {"abc", "X", "ab", "ab", false},
      {"end", "X", "the end", "the X", false},
      {"a", "", "banana", "bnn", false},
      {"na", "NA", "banana", "baNANA", false},
      {"x", "xx", "xxx", "xxxxxx", false},
      {"abc", "X", "", "", false},
      {"no", "X", "nothing here to see", "Xthing here to see", false},
      {"hello", "bye", "HeLLo hello HELLO", "bye bye bye", true},
      {"hello", "bye", "HeLLo hello HELLO", "HeLLo bye HELLO", false},
      {"aab", "X", "AAaAB", "AAX", true},
      // Only ASCII letters fold: 0xE9 and 0xC9 are different bytes.
      {"\xe9t\xe9", "X", "\xc9T\xc9 \xe9T\xe9", "\xc9T\xc9 X", true},
      {"[", "(", "a[b]", "a(b]", true},
      {"@", "X", "`@`", "`X`", true},
      {std::string("\0\x1a", 2), "Z",
       std::string("a\0\x1a"
                   "b\x1a\0",
                   6),
       std::string("aZb\x1a\0", 5), false},
      {"\r\n", "\n", "a\r\nb\r\n", "a\nb\n", false},
      {"needle", "pin", big, big_replaced, false},
      {"NEEDLE", "pin", big, big_replaced, true},
  };
  for (const auto& c : cases) {
    for (std::size_t block : {std::size_t{1}, std::size_t{2}, std::size_t{3},
                              std::size_t{7}, std::size_t{4096}, kDefaultReplaceBlock}) {
      for (std::size_t chunk : {std::size_t{1}, std::size_t{5}, std::size_t{1} << 20}) {
        EXPECT_EQ(replaced(c.input, c.find, c.replace, c.ignore_case, block, chunk),
                  c.expected)
            << "find '" << c.find << "' in '" << c.input.substr(0, 40) << "' block "
            << block << " chunk " << chunk << " ignore_case " << c.ignore_case;
      }
    }
  }
}

TEST(StreamReplaceTest, ReadAndWriteErrorsAreReturned) {
  for (const char* operation : {"read", "write"}) {
    fake_platform os;
    os.read_chunk = 3;
    os.add_file("in", "abcabcabcabc");
    opened<input_file> in = os.open_input("in");
    opened<replacement_file> out = os.open_replacement("out", "");
    os.fail_call(operation, 1);
    replace_options options;
    options.find_text = "b";
    options.block_size = 3;
    EXPECT_FALSE(stream_replace(*in.file, *out.file, options).is_ok()) << operation;
  }
}

// replace_in_file on the fake platform: console lines and what is written.
class ReplaceInFileTest : public ::testing::Test {
 protected:
  ReplaceInFileTest() {
    job.find_text = "old";
    job.replace_text = "new";
    job.source_dir = "src";
    job.target_dir = "out";
    os.add_file("src\\a.txt", "old and OLD");
    os.add_folder("out");
  }

  bool run(const std::string& line) {
    job.name_line = line;
    return replace_in_file(job, os, report);
  }

  replace_job job;
  fake_platform os;
  reporter report{os, "script"};
};

TEST_F(ReplaceInFileTest, WritesTheCopyAndItsLine) {
  EXPECT_TRUE(run("a.txt"));
  EXPECT_EQ(os.files["out\\a.txt"], "new and OLD");
  EXPECT_EQ(os.out.str(), "src\\a.txt to out\\a.txt successed!\n");
  EXPECT_EQ(os.files["src\\a.txt"], "old and OLD");
}

TEST_F(ReplaceInFileTest, IgnoresCaseWhenAsked) {
  job.ignore_case = true;
  EXPECT_TRUE(run("a.txt"));
  EXPECT_EQ(os.files["out\\a.txt"], "new and new");
}

TEST_F(ReplaceInFileTest, LeadingBlanksAreSkippedTrailingKept) {
  EXPECT_TRUE(run(" \t a.txt"));
  EXPECT_EQ(os.files["out\\a.txt"], "new and OLD");
  EXPECT_FALSE(run("a.txt "));
  EXPECT_EQ(os.out.str(),
            "src\\a.txt to out\\a.txt successed!\nopen src\\a.txt  failed.\n");
}

TEST_F(ReplaceInFileTest, BlankLineIsSkippedEmptyLineFails) {
  EXPECT_TRUE(run(" \t "));
  EXPECT_EQ(os.out.str(), "");
  EXPECT_FALSE(run(""));
  EXPECT_EQ(os.out.str(), "open src\\ failed.\n");
}

TEST_F(ReplaceInFileTest, MissingInputIsReportedAndNothingCreated) {
  EXPECT_FALSE(run("missing.txt"));
  EXPECT_EQ(os.out.str(), "open src\\missing.txt failed.\n");
  EXPECT_FALSE(os.exists("src\\missing.txt"));
  EXPECT_FALSE(os.exists("out\\missing.txt"));
}

TEST_F(ReplaceInFileTest, EmptyFindTextLeavesTheTargetAlone) {
  os.add_file("out\\a.txt", "precious");
  job.find_text.clear();
  EXPECT_FALSE(run("a.txt"));
  EXPECT_EQ(os.out.str(), "src\\a.txt the text you want to replace can't be NULL.\n");
  EXPECT_EQ(os.files["out\\a.txt"], "precious");
}

// An empty find text is refused before anything is made: no folder on the
// way to the target, and its own message even where the target could not
// be opened.
TEST_F(ReplaceInFileTest, EmptyFindTextIsRefusedBeforeAnyFolderOrOutput) {
  os.add_file("src\\sub\\b.txt", "old");
  os.add_file("src\\c.txt", "old");
  os.add_folder("out\\c.txt");
  job.find_text.clear();
  EXPECT_FALSE(run("sub\\b.txt"));
  EXPECT_FALSE(os.exists("out\\sub"));
  EXPECT_FALSE(run("c.txt"));
  EXPECT_EQ(os.out.str(),
            "src\\sub\\b.txt the text you want to replace can't be NULL.\n"
            "src\\c.txt the text you want to replace can't be NULL.\n");
}

TEST_F(ReplaceInFileTest, SlashSeparatesFoldersInANameLine) {
  os.add_file("src\\docs/a.txt", "old");
  EXPECT_TRUE(run("docs/a.txt"));
  EXPECT_EQ(os.files["out\\docs/a.txt"], "new");
  EXPECT_TRUE(os.folders.count("out\\docs"));
}

TEST_F(ReplaceInFileTest, CreatesTargetSubfolders) {
  os.add_file("src\\docs\\deep\\b.txt", "old");
  EXPECT_TRUE(run("docs\\deep\\b.txt"));
  EXPECT_EQ(os.files["out\\docs\\deep\\b.txt"], "new");
  EXPECT_TRUE(os.folders.count("out\\docs"));
}

TEST_F(ReplaceInFileTest, InPlaceReplacementWorks) {
  job.target_dir = "src";
  EXPECT_TRUE(run("a.txt"));
  EXPECT_EQ(os.files["src\\a.txt"], "new and OLD");
}

TEST_F(ReplaceInFileTest, FailuresLeaveTheOldTarget) {
  const struct {
    const char* operation;
    const char* expected_out;
  } cases[] = {
      {"open_replacement", "src\\a.txt open out\\a.txt failed.\n"},
      {"read", "src\\a.txt write out\\a.txt failed.\n"},
      {"write", "src\\a.txt write out\\a.txt failed.\n"},
      {"commit", "src\\a.txt write out\\a.txt failed.\n"},
  };
  for (const auto& c : cases) {
    fake_platform fresh;
    fresh.add_file("src\\a.txt", "old");
    fresh.add_file("out\\a.txt", "earlier");
    fresh.fail_call(c.operation, 1);
    job.name_line = "a.txt";
    reporter fresh_report(fresh, "script");
    EXPECT_FALSE(replace_in_file(job, fresh, fresh_report)) << c.operation;
    EXPECT_EQ(fresh.out.str(), c.expected_out) << c.operation;
    EXPECT_EQ(fresh.files["out\\a.txt"], "earlier") << c.operation;
  }
}

// A file whose content would not change is not rewritten, and no temporary
// file is made for it; a change anywhere, the first byte, the last, a
// shorter or a longer content, rewrites it whole.
TEST(UnchangedFileTest, OnlyAChangeIsWritten) {
  const struct {
    const char* name;
    std::string source, target, expected;
    bool written;
  } cases[] = {
      {"in place without an occurrence", "nothing here", "", "nothing here", false},
      {"target already holds the result", "a old b", "a new b", "a new b", false},
      {"target differs at its first byte", "old", "x", "new", true},
      {"target differs at its last byte", "a old b", "a new c", "a new b", true},
      {"target is longer", "old", "new and more", "new", true},
      {"target is shorter", "old old", "new", "new new", true},
      {"target is empty", "old", "", "new", true},
  };
  for (const auto& c : cases) {
    fake_platform os;
    os.read_chunk = 2;
    os.add_file("src\\a.txt", c.source);
    const bool in_place = c.target.empty() && !c.written;
    if (!in_place) os.add_file("out\\a.txt", c.target);
    replace_job job;
    job.find_text = "old";
    job.replace_text = "new";
    job.source_dir = "src";
    job.target_dir = in_place ? "src" : "out";
    job.name_line = "a.txt";
    reporter report(os, "script");
    ASSERT_TRUE(replace_in_file(job, os, report)) << c.name;
    EXPECT_EQ(os.files[in_place ? "src\\a.txt" : "out\\a.txt"], c.expected) << c.name;
    EXPECT_EQ(os.calls["open_replacement"], c.written ? 1 : 0) << c.name;
    EXPECT_EQ(report.totals().files_changed, c.written ? 1u : 0u) << c.name;
  }
}

TEST(UnchangedFileTest, ACopyOntoAnEqualFileLeavesIt) {
  fake_platform os;
  os.add_file("a", "same bytes");
  os.add_file("b", "same bytes");
  EXPECT_TRUE(os.copy_file("a", "b").is_ok());
  EXPECT_EQ(os.calls["open_replacement"], 0);
  os.add_file("c", "other");
  EXPECT_TRUE(os.copy_file("a", "c").is_ok());
  EXPECT_EQ(os.files["c"], "same bytes");
}

TEST(MakeParentDirsTest, CreatesEachFolderOnTheWayAtEitherSeparator) {
  for (const char* path :
       {"top\\mid\\leaf\\file.txt", "top/mid/leaf/file.txt", "top\\mid/leaf\\file.txt"}) {
    fake_platform os;
    os.make_parent_dirs(path);
    const std::string p = path;
    EXPECT_TRUE(os.folders.count(p.substr(0, 3))) << path;
    EXPECT_TRUE(os.folders.count(p.substr(0, 7))) << path;
    EXPECT_TRUE(os.folders.count(p.substr(0, 12))) << path;
    EXPECT_FALSE(os.exists(path)) << path;
  }
}

TEST(MakeDirsTest, MakesTheWholeChainOrSaysWhyNot) {
  fake_platform os;
  EXPECT_TRUE(os.make_dirs("a\\b/c").is_ok());
  EXPECT_TRUE(os.is_dir("a\\b/c"));
  EXPECT_TRUE(os.make_dirs("a\\b/c").is_ok()) << "a folder that exists is fine";
  os.add_file("f", "x");
  const status blocked = os.make_dirs("f\\g");
  EXPECT_FALSE(blocked.is_ok());
  EXPECT_FALSE(blocked.reason().empty());
}

}  // namespace
}  // namespace quillmend
