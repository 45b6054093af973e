// The unified diff checked against the real tools: every case's output must
// turn the old file into the new one through `patch`, and where the smallest
// diff is unambiguous its hunks must equal those of `diff -u`. Read
// boundaries, read errors and colours use an in-memory input_file.
#include "engine/unified_diff.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/native_platform.h"

namespace quillmend {
namespace {

// Lines "<prefix>1\n" .. "<prefix>n\n".
std::string numbered(int first, int last, const std::string& prefix = "line ") {
  std::string text;
  for (int i = first; i <= last; ++i) text += prefix + std::to_string(i) + "\n";
  return text;
}

// `text` with the lines numbered in `lines` (from 1) replaced by `with`.
std::string replace_lines(const std::string& text, const std::vector<int>& lines,
                          const std::string& with) {
  std::istringstream in(text);
  std::string result;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    bool hit = false;
    for (int l : lines) hit = hit || l == number;
    result += (hit ? with + std::to_string(number) : line) + "\n";
  }
  return result;
}

std::string after_headers(const std::string& diff) {
  std::size_t start = 0;
  for (int i = 0; i < 2 && start != std::string::npos; ++i) {
    start = diff.find('\n', start);
    if (start != std::string::npos) ++start;
  }
  return start == std::string::npos ? std::string() : diff.substr(start);
}

struct diff_result {
  std::string out;
  bool differ = false;
  status result;
};

// An in-memory file that hands out at most `chunk` bytes per read and fails
// the read numbered `fail_at` (from 1, 0 for never).
class string_input : public input_file {
 public:
  string_input(const std::string& text, std::size_t chunk, int fail_at)
      : text_(text), chunk_(chunk), fail_at_(fail_at) {}

  status read(char* buffer, std::size_t size, std::size_t& count) override {
    count = 0;
    if (++reads_ == fail_at_) return status::failed("disk on fire");
    count = std::min({size, chunk_, text_.size() - position_});
    text_.copy(buffer, count, position_);
    position_ += count;
    return status::ok();
  }

 private:
  const std::string& text_;
  std::size_t chunk_;
  int fail_at_;
  int reads_ = 0;
  std::size_t position_ = 0;
};

input_opener string_opener(const std::string& text, std::size_t chunk = 1 << 16,
                           int fail_at = 0, int* opens = nullptr) {
  return [&text, chunk, fail_at, opens]() {
    if (opens != nullptr) ++*opens;
    return opened<input_file>{std::make_unique<string_input>(text, chunk, fail_at),
                              status::ok()};
  };
}

diff_result diff_strings(const std::string& old_text, const std::string& new_text,
                         std::size_t chunk, diff_style style = {}) {
  diff_result r;
  std::ostringstream out;
  r.result =
      write_unified_diff(string_opener(old_text, chunk), string_opener(new_text, chunk),
                         {"old.txt", "new.txt"}, style, out, r.differ);
  r.out = out.str();
  return r;
}

// A temporary folder holding old.txt and new.txt, read through the native
// platform as the tool reads them, and run through diff and patch.
class UnifiedDiffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os_ = make_native_platform();
    ASSERT_TRUE(os_->make_temp_dir(dir_).is_ok());
    ASSERT_EQ(std::system("patch --version >/dev/null 2>&1"), 0) << "patch is missing";
    ASSERT_EQ(std::system("diff --version >/dev/null 2>&1"), 0) << "diff is missing";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  void write(const std::string& name, const std::string& content) const {
    std::ofstream(path(name), std::ios::binary) << content;
  }

  std::string read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  input_opener opener(const std::string& name) {
    const std::string full = path(name);
    return [this, full]() { return os_->open_input(full, open_mode::binary); };
  }

  // The module's diff of old.txt and new.txt, as written.
  diff_result module_diff(const std::string& old_text, const std::string& new_text,
                          diff_style style = {}) {
    write("old.txt", old_text);
    write("new.txt", new_text);
    diff_result r;
    std::ostringstream out;
    r.result = write_unified_diff(opener("old.txt"), opener("new.txt"),
                                  {"old.txt", "new.txt"}, style, out, r.differ);
    r.out = out.str();
    return r;
  }

  // diff -u's output for the files written last.
  std::string gnu_diff() const {
    const std::string command =
        "cd '" + dir_ + "' && diff -u old.txt new.txt > gnu.txt; test $? -le 1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return read("gnu.txt");
  }

  // What patch makes of old.txt with `diff`; fails the test if patch does.
  std::string patched(const std::string& diff) const {
    write("diff.txt", diff);
    std::remove(path("result.txt").c_str());
    const std::string command = "cd '" + dir_ +
                                "' && patch -s -f -o result.txt old.txt diff.txt"
                                " > patch.log 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << read("patch.log");
    return read("result.txt");
  }

  // Diffs, applies and, when `like_gnu`, compares with diff -u.
  void check(const std::string& name, const std::string& old_text,
             const std::string& new_text, bool like_gnu, diff_style style = {}) {
    SCOPED_TRACE(name + ", window " + std::to_string(style.window_lines));
    const diff_result r = module_diff(old_text, new_text, style);
    ASSERT_TRUE(r.result.is_ok()) << r.result.reason();
    EXPECT_EQ(r.differ, old_text != new_text);
    if (old_text == new_text) {
      EXPECT_EQ(r.out, "");
      return;
    }
    EXPECT_EQ(r.out.rfind("--- old.txt\n+++ new.txt\n@@ -", 0), 0u)
        << r.out.substr(0, 200);
    EXPECT_TRUE(patched(r.out) == new_text) << "patch did not give new.txt for\n"
                                            << r.out.substr(0, 2000);
    if (like_gnu) {
      const std::string gnu = after_headers(gnu_diff());
      EXPECT_TRUE(after_headers(r.out) == gnu) << "module:\n"
                                               << r.out.substr(0, 2000) << "diff -u:\n"
                                               << gnu.substr(0, 2000);
    }
  }

  std::unique_ptr<platform> os_;
  std::string dir_;
};

struct diff_case {
  const char* name;
  std::string old_text;
  std::string new_text;
  bool like_gnu;  // the smallest diff is unambiguous
};

std::vector<diff_case> small_cases() {
  const std::string twenty = numbered(1, 20);
  const std::string forty = numbered(1, 40);
  return {
      {"identical", twenty, twenty, true},
      {"both empty", "", "", true},
      {"one line changed in the middle", twenty, replace_lines(twenty, {10}, "new "),
       true},
      {"first and last lines changed", twenty, replace_lines(twenty, {1, 20}, "new "),
       true},
      {"second line changed", twenty, replace_lines(twenty, {2}, "new "), true},
      {"insertion only", twenty, numbered(1, 8) + "added a\nadded b\n" + numbered(9, 20),
       true},
      {"insertion at the start", twenty, "added\n" + twenty, true},
      {"insertion at the end", twenty, twenty + "added\n", true},
      {"deletion only", twenty, numbered(1, 7) + numbered(11, 20), true},
      {"deletion of the first lines", twenty, numbered(3, 20), true},
      {"deletion of the last line", twenty, numbered(1, 19), true},
      {"empty old", "", "a\nb\nc\n", true},
      {"empty new", "a\nb\nc\n", "", true},
      {"empty old, new without line end", "", "a", true},
      {"old without line end", "a\nb\nc", "a\nb\nd\n", true},
      {"new without line end", "a\nb\nc\n", "a\nb\nd", true},
      {"both without line end", "a\nb\nc", "a\nb\nd", true},
      {"unchanged last line without line end", "a\nb\nc\nd", "x\nb\nc\nd", true},
      {"far change, last line without line end", numbered(1, 20) + "end",
       replace_lines(numbered(1, 20), {2}, "new ") + "end", true},
      {"line end added to the last line", "a\nb", "a\nb\n", true},
      {"line end removed from the last line", "a\nb\n", "a\nb", true},
      {"only a line end", "", "\n", true},
      {"empty lines", "\n\n\n", "\n\n", true},
      {"CR LF lines", "a\r\nb\r\nc\r\nd\r\n", "a\r\nB\r\nc\r\nd\r\n", true},
      {"CR LF, last without line end", "a\r\nb\r\nc", "a\r\nb\r\nc\r\n", true},
      {"LF to CR LF", "a\nb\nc\n", "a\r\nb\r\nc\r\n", true},
      {"lone CR inside a line", "a\rb\nc\n", "a\rB\nc\n", true},
      {"changes five apart", forty, replace_lines(forty, {10, 16}, "new "), true},
      {"changes six apart merge", forty, replace_lines(forty, {10, 17}, "new "), true},
      {"changes seven apart split", forty, replace_lines(forty, {10, 18}, "new "), true},
      {"many changes close together", forty,
       replace_lines(forty, {3, 5, 9, 12, 18, 19, 25}, "new "), true},
      {"changes far apart", numbered(1, 300),
       replace_lines(numbered(1, 300), {1, 100, 200, 300}, "new "), true},
      {"insertions and deletions mixed", numbered(1, 60),
       numbered(1, 5) + "ins\n" + numbered(9, 30) + numbered(32, 44) + "x\ny\n" +
           numbered(45, 60),
       true},
      {"everything different", numbered(1, 30, "old "), numbered(1, 25, "new "), true},
      {"repeated lines", "a\na\na\nb\n", "a\na\nb\nb\n", false},
      {"braces", "{\n}\n{\n}\n", "{\n{\n}\n}\n", false},
  };
}

TEST_F(UnifiedDiffTest, CasesApplyAndMatchDiff) {
  for (const diff_case& c : small_cases()) {
    check(c.name, c.old_text, c.new_text, c.like_gnu);
  }
}

// Tiny windows force every resynchronisation and window cut; the output must
// still be a correct diff, though not always the smallest one.
TEST_F(UnifiedDiffTest, TinyWindowsStillApply) {
  for (std::size_t window : {0u, 2u, 3u, 5u, 8u}) {
    diff_style style;
    style.window_lines = window;
    for (const diff_case& c : small_cases()) {
      check(c.name, c.old_text, c.new_text, false, style);
    }
  }
}

// With a window much larger than the change, the window's smallest diff is
// the whole diff.
TEST_F(UnifiedDiffTest, SmallWindowAroundSmallChangesMatchesDiff) {
  diff_style style;
  style.window_lines = 16;
  const std::string text = numbered(1, 100);
  check("scattered changes", text, replace_lines(text, {5, 30, 31, 70, 99}, "new "), true,
        style);
}

// Text of `count` lines drawn from `kinds` different ones, the same for a
// seed on every platform.
std::string random_lines(std::uint32_t seed, int count, int kinds) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    text += "l" + std::to_string((seed >> 16) % static_cast<std::uint32_t>(kinds)) + "\n";
  }
  return text;
}

// The numbers of removed and added lines in a diff's hunks.
std::pair<int, int> changed_lines(const std::string& diff) {
  std::istringstream in(after_headers(diff));
  std::pair<int, int> counts;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("-", 0) == 0) ++counts.first;
    if (line.rfind("+", 0) == 0) ++counts.second;
  }
  return counts;
}

// Files with many repeated lines have many smallest diffs, so the hunks
// may differ from diff's, but within one window the number of changed lines
// must be the smallest one. Hundreds of lines cross the 64-line words of the
// comparison table.
TEST_F(UnifiedDiffTest, SmallestDiffWithinAWindow) {
  for (int kinds : {2, 5, 40}) {
    for (std::uint32_t seed : {1u, 2u, 3u}) {
      const std::string old_text =
          random_lines(seed, 150 + 50 * static_cast<int>(seed), kinds);
      const std::string new_text = random_lines(seed + 100, 300, kinds);
      const std::string name =
          std::to_string(kinds) + " kinds, seed " + std::to_string(seed);
      check(name, old_text, new_text, false);
      const diff_result r = module_diff(old_text, new_text);
      const std::string command =
          "cd '" + dir_ +
          "' && diff --minimal -u old.txt new.txt > gnu.txt; test $? -le 1";
      ASSERT_EQ(std::system(command.c_str()), 0);
      EXPECT_EQ(changed_lines(r.out), changed_lines(read("gnu.txt"))) << name;
    }
  }
}

TEST_F(UnifiedDiffTest, LongLines) {
  const std::string long_a(1 << 20, 'a');
  std::string long_b = long_a;
  long_b[long_b.size() / 2] = 'b';
  check("one byte changed in a 1 MB line", "first\n" + long_a + "\nlast\n",
        "first\n" + long_b + "\nlast\n", true);
  check("1 MB last line without line end", "first\n" + long_a, "first\n" + long_b, true);
  check("1 MB lines, one added", long_a + "\n" + long_b + "\n",
        long_a + "\n" + long_b + "\n" + long_a + "\n", true);
}

TEST_F(UnifiedDiffTest, ManyLinesWithScatteredChanges) {
  const std::string old_text = numbered(1, 200000);
  std::string new_text = replace_lines(old_text, {1, 777, 50000, 123456, 199999}, "new ");
  // An insertion and a deletion far from the other changes.
  new_text.insert(new_text.find("line 90000\n"), "inserted\n");
  const std::size_t gone = new_text.find("line 150000\n");
  new_text.erase(gone, std::string("line 150000\nline 150001\n").size());
  check("200000 lines", old_text, new_text, true);
}

TEST_F(UnifiedDiffTest, ChangeLargerThanTheWindow) {
  diff_style style;
  style.window_lines = 64;
  const std::string head = numbered(1, 10, "head ");
  const std::string tail = numbered(1, 10, "tail ");
  check("replaced block", head + numbered(1, 300, "old ") + tail,
        head + numbered(1, 250, "new ") + tail, true, style);
  check("inserted block", head + tail, head + numbered(1, 300, "new ") + tail, true,
        style);
  check("deleted block", head + numbered(1, 300, "old ") + tail, head + tail, true,
        style);
  // No common line in a window, neither side near its end: the diff is
  // correct, if not the smallest.
  check("replaced block, sizes far apart", head + numbered(1, 300, "old ") + tail,
        head + numbered(1, 100, "new ") + numbered(1, 300, "old ") + tail, false, style);
  // The same with the default window: a change of 10000 lines.
  check("replaced block, default window", head + numbered(1, 10000, "old ") + tail,
        head + numbered(1, 9000, "new ") + tail, true);
}

TEST_F(UnifiedDiffTest, BinaryFiles) {
  const std::string with_nul("a\0b\n", 4);
  const std::string other_nul("a\0c\n", 4);
  for (const auto& [old_text, new_text] :
       std::vector<std::pair<std::string, std::string>>{
           {with_nul, other_nul}, {"text\n", with_nul}, {with_nul, "text\n"}}) {
    const diff_result r = module_diff(old_text, new_text);
    ASSERT_TRUE(r.result.is_ok());
    EXPECT_TRUE(r.differ);
    EXPECT_EQ(r.out, "Binary files old.txt and new.txt differ\n");
    EXPECT_EQ(r.out, gnu_diff());
  }
  const diff_result same = module_diff(with_nul, with_nul);
  EXPECT_FALSE(same.differ);
  EXPECT_EQ(same.out, "");
}

// Reads of one byte, or of a few, put every line and line end across read
// boundaries; the diff must not change.
TEST(UnifiedDiffReadTest, ReadBoundariesDoNotChangeTheDiff) {
  for (const diff_case& c : small_cases()) {
    const diff_result whole = diff_strings(c.old_text, c.new_text, 1 << 16);
    for (std::size_t chunk : {1u, 2u, 3u}) {
      const diff_result piecewise = diff_strings(c.old_text, c.new_text, chunk);
      EXPECT_TRUE(piecewise.result.is_ok());
      EXPECT_EQ(piecewise.differ, whole.differ) << c.name;
      EXPECT_EQ(piecewise.out, whole.out) << c.name << ", chunk " << chunk;
    }
  }
}

TEST(UnifiedDiffReadTest, ReportsReadErrors) {
  const std::string old_text = numbered(1, 50);
  const std::string new_text = replace_lines(old_text, {20}, "new ");
  // The 391 bytes take 25 reads of 16 bytes and one more that finds the end;
  // fail each pass's first, a middle, the last and the end read.
  ASSERT_EQ(old_text.size(), 391u);
  for (int fail_at : {1, 5, 25, 26}) {
    for (bool fail_old : {true, false}) {
      std::ostringstream out;
      bool differ = false;
      const status result =
          write_unified_diff(string_opener(old_text, 16, fail_old ? fail_at : 0),
                             string_opener(new_text, 16, fail_old ? 0 : fail_at),
                             {"o", "n"}, {}, out, differ);
      EXPECT_FALSE(result.is_ok()) << "read " << fail_at << (fail_old ? " old" : " new");
      EXPECT_EQ(result.reason(), "disk on fire");
    }
  }
}

TEST(UnifiedDiffReadTest, OpenFailureWritesNothing) {
  const std::string text = "a\n";
  const input_opener missing = [] {
    return opened<input_file>{nullptr, status::not_found("No such file or directory")};
  };
  for (bool old_missing : {true, false}) {
    std::ostringstream out;
    bool differ = true;
    const status result = write_unified_diff(old_missing ? missing : string_opener(text),
                                             old_missing ? string_opener(text) : missing,
                                             {"o", "n"}, {}, out, differ);
    EXPECT_TRUE(result.is_not_found());
    EXPECT_FALSE(differ);
    EXPECT_EQ(out.str(), "");
  }
}

// Each pass opens the file afresh; one that answers differently each time
// must give an error, not a wrong diff or a hang.
TEST(UnifiedDiffReadTest, FileChangingBetweenReadsFails) {
  const std::string old_text = numbered(1, 30);
  const std::vector<std::string> versions = {
      replace_lines(old_text, {10}, "a "), replace_lines(old_text, {10}, "a "),
      replace_lines(old_text, {10}, "a "), replace_lines(old_text, {25}, "b "),
      replace_lines(old_text, {25}, "b "), replace_lines(old_text, {25}, "b ")};
  int opens = 0;
  const input_opener changing = [&versions, &opens] {
    const std::string& text = versions[std::min<std::size_t>(opens, versions.size() - 1)];
    ++opens;
    return opened<input_file>{std::make_unique<string_input>(text, 1 << 16, 0),
                              status::ok()};
  };
  std::ostringstream out;
  bool differ = false;
  const status result =
      write_unified_diff(string_opener(old_text), changing, {"o", "n"}, {}, out, differ);
  EXPECT_FALSE(result.is_ok());
}

std::string without_escapes(const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\x1b') {
      i = text.find('m', i);
      if (i == std::string::npos) break;
    } else {
      plain += text[i];
    }
  }
  return plain;
}

TEST(UnifiedDiffStyleTest, ColoursOnlyWhenAsked) {
  const std::string old_text = "a\nb\nc";
  const std::string new_text = "a\nB\nc";
  const diff_result plain = diff_strings(old_text, new_text, 1 << 16);
  EXPECT_EQ(plain.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(plain.out,
            "--- old.txt\n+++ new.txt\n@@ -1,3 +1,3 @@\n a\n-b\n+B\n c\n"
            "\\ No newline at end of file\n");
  diff_style style;
  style.colour = true;
  const diff_result coloured = diff_strings(old_text, new_text, 1 << 16, style);
  EXPECT_EQ(without_escapes(coloured.out), plain.out);
  for (const char* line :
       {"\x1b[1m--- old.txt\x1b[0m\n", "\x1b[1m+++ new.txt\x1b[0m\n",
        "\x1b[36m@@ -1,3 +1,3 @@\x1b[0m\n", "\n a\n", "\x1b[31m-b\x1b[0m\n",
        "\x1b[32m+B\x1b[0m\n", "\n c\n\\ No newline at end of file\n"}) {
    EXPECT_NE(coloured.out.find(line), std::string::npos) << line;
  }
}

TEST(UnifiedDiffStyleTest, NewFileHeader) {
  std::ostringstream plain;
  write_new_file_header("dir\\new.txt", {}, plain);
  EXPECT_EQ(plain.str(), "new file dir\\new.txt\n");
  std::ostringstream coloured;
  diff_style style;
  style.colour = true;
  write_new_file_header("a b.txt", style, coloured);
  EXPECT_EQ(coloured.str(), "\x1b[1mnew file a b.txt\x1b[0m\n");
}

TEST(UnifiedDiffStyleTest, LabelsAreVerbatim) {
  std::ostringstream out;
  bool differ = false;
  const std::string a = "x\n";
  const std::string b = "y\n";
  ASSERT_TRUE(write_unified_diff(string_opener(a), string_opener(b),
                                 {"c:\\old dir\\f.txt", "sub\\f.txt"}, {}, out, differ)
                  .is_ok());
  EXPECT_EQ(out.str(), "--- c:\\old dir\\f.txt\n+++ sub\\f.txt\n@@ -1 +1 @@\n-x\n+y\n");
}

}  // namespace
}  // namespace quillmend
