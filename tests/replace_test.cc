#include <gtest/gtest.h>

#include <string>

#include "driver/script_state.h"
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
    state.find_text = "old";
    state.replace_text = "new";
    state.source_dir = "src";
    state.target_dir = "out";
    os.add_file("src\\a.txt", "old and OLD");
    os.add_folder("out");
  }

  bool run(const std::string& line) {
    state.current_line = line;
    return replace_in_file(state, os);
  }

  script_state state;
  fake_platform os;
};

TEST_F(ReplaceInFileTest, WritesTheCopyAndItsLine) {
  EXPECT_TRUE(run("a.txt"));
  EXPECT_EQ(os.files["out\\a.txt"], "new and OLD");
  EXPECT_EQ(os.out.str(), "src\\a.txt to out\\a.txt successed!\n");
  EXPECT_EQ(os.files["src\\a.txt"], "old and OLD");
}

TEST_F(ReplaceInFileTest, IgnoresCaseWhenAsked) {
  state.ignore_case = true;
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
  state.find_text.clear();
  EXPECT_FALSE(run("a.txt"));
  EXPECT_EQ(os.out.str(), "src\\a.txt the text you want to replace can't be NULL.\n");
  EXPECT_EQ(os.files["out\\a.txt"], "precious");
}

TEST_F(ReplaceInFileTest, CreatesTargetSubfolders) {
  os.add_file("src\\docs\\deep\\b.txt", "old");
  EXPECT_TRUE(run("docs\\deep\\b.txt"));
  EXPECT_EQ(os.files["out\\docs\\deep\\b.txt"], "new");
  EXPECT_TRUE(os.folders.count("out\\docs"));
}

TEST_F(ReplaceInFileTest, InPlaceReplacementWorks) {
  state.target_dir = "src";
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
    state.current_line = "a.txt";
    EXPECT_FALSE(replace_in_file(state, fresh)) << c.operation;
    EXPECT_EQ(fresh.out.str(), c.expected_out) << c.operation;
    EXPECT_EQ(fresh.files["out\\a.txt"], "earlier") << c.operation;
  }
}

TEST(MakeParentDirsTest, CreatesEachFolderOnTheWay) {
  fake_platform os;
  make_parent_dirs(os, "top\\mid\\leaf\\file.txt");
  EXPECT_TRUE(os.folders.count("top"));
  EXPECT_TRUE(os.folders.count("top\\mid"));
  EXPECT_TRUE(os.folders.count("top\\mid\\leaf"));
  EXPECT_FALSE(os.exists("top\\mid\\leaf\\file.txt"));
}

}  // namespace
}  // namespace quillmend
