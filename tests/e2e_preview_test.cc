// End-to-end: the options, the preview (--dry-run) and the located
// diagnostics, on the real binary. A dry run must leave the tree exactly as
// it was, mtimes included, and say what the real run then does.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e_harness.h"

namespace quillmend_e2e {
namespace {

namespace fs = std::filesystem;

struct file_state {
  std::string content;
  fs::file_time_type mtime;
  bool operator==(const file_state& other) const {
    return content == other.content && mtime == other.mtime;
  }
};

// Every file and folder under the test folder, with content and mtime.
std::map<std::string, file_state> snapshot(const temp_folder& dir) {
  std::map<std::string, file_state> tree;
  for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
    const std::string relative = fs::relative(entry.path(), dir.path()).string();
    file_state state;
    if (entry.is_regular_file()) state.content = read_file(entry.path().string());
    state.mtime = fs::last_write_time(entry.path());
    tree[relative] = state;
  }
  return tree;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool is_preview_line(const std::string& line) {
  return line.compare(0, 8, "  would ") == 0 || line.compare(0, 9, "not run: ") == 0 ||
         (line.size() > 11 && line.compare(line.size() - 11, 11, ": unchanged") == 0);
}

// The console lines of a dry run without its preview lines.
std::vector<std::string> console_lines_of(const std::string& out) {
  std::vector<std::string> kept;
  for (const std::string& line : lines_of(out))
    if (!is_preview_line(line)) kept.push_back(line);
  return kept;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct preview_case {
  const char* name;
  std::map<std::string, std::string> files;  // relative path ('/') -> content
  std::string script;
  std::vector<std::string> preview;  // lines the dry run must show
};

const std::vector<preview_case>& preview_cases() {
  static const std::vector<preview_case> cases = {
      {"replace into a new folder",
       {{"src/a.txt", "one two one\n"}},
       "[txt_content_replace]\none\n1\nsrc\nout\\deep\na.txt\n",
       {"  would write out\\deep\\a.txt: 2 replacements"}},
      {"replace in place, one file without the text",
       {{"site/a.txt", "keep one\n"}, {"site/b.txt", "nothing here\n"}},
       "[txt_content_replace_no_case]\nONE\ntwo\nsite\nsite\na.txt\nb.txt\n",
       {"  would write site\\a.txt: 1 replacement", "  site\\b.txt: unchanged"}},
      {"splice",
       {{"menu.htm", "x\n<m>\nnew 1\nnew 2\n</m>\n"},
        {"page.htm", "head\n<m>\nold\n</m>\ntail\n"}},
       "[txt_content_replace_txt]\n<m>\n</m>\nmenu.htm\n<m>\n</m>\npage.htm\n",
       {"  would splice page.htm: replace line 3 by 2 lines"}},
      {"refused splice: a start marker without its end",
       {{"menu.htm", "<m>\nnew\n</m>\n"}, {"page.htm", "head\n<m>\nold\n"}},
       "[txt_content_replace_txt]\n<m>\n</m>\nmenu.htm\n<m>\n</m>\npage.htm\n",
       {}},
      {"refused replace: an empty find text",
       {{"src/a.txt", "a\n"}},
       "[txt_content_replace]\n\nx\nsrc\nout\na.txt\n",
       {}},
      {"copy",
       {{"src/a.htm", "A"}, {"src/B.HTM", "B"}, {"out/keep", "k"}},
       "[copy_file]\nsrc\nout\n*.htm > .html\n",
       {"  would copy src\\B.HTM to out\\B.html",
        "  would copy src\\a.htm to out\\a.html"}},
      {"copy, then replace in the copies",
       {{"src/a.htm", "old text"}, {"out/keep", "k"}},
       "[copy_file]\nsrc\nout\n*.htm > .html\n"
       "[txt_content_replace]\nold\nnew\nout\nout\na.html\n",
       {"  would copy src\\a.htm to out\\a.html",
        "  would write out\\a.html: 1 replacement"}},
      {"a command, and a line that needs what it makes",
       {{"keep", "k"}},
       "[system_command]\necho made> "
       "made.txt\n[txt_content_replace]\nmade\nx\n.\n.\nmade.txt\n",
       {"not run: echo made> made.txt"}},
  };
  return cases;
}

TEST(PreviewE2E, ADryRunChangesNothingAndShowsWhatTheRunDoes) {
  for (const preview_case& c : preview_cases()) {
    SCOPED_TRACE(c.name);
    temp_folder dir;
    // Text files as the platform writes them, so that a file without the
    // text is also unchanged on Windows, where LF alone would become CR LF.
    for (const auto& file : c.files) dir.write(file.first, as_written(file.second));
    dir.write("script.txt", c.script);
    const auto before = snapshot(dir);

    run_options dry;
    dry.arguments = {"--dry-run", "--no-pause", "script.txt"};
    const run_result preview = dir.run(dry);
    EXPECT_TRUE(snapshot(dir) == before) << "the dry run changed the tree";
    for (const std::string& line : c.preview)
      EXPECT_TRUE(contains(preview.out, as_written(line + "\n"))) << line << "\n"
                                                                  << preview.out;
    EXPECT_TRUE(contains(preview.err, "quillmend: ")) << "a dry run shows its summary";

    run_options real;
    real.arguments = {"--no-pause", "script.txt"};
    const run_result done = dir.run(real);
    // The dry run's own console lines are those of the real run; only a
    // line that needed a command's work fails in the preview alone.
    const bool needs_a_command =
        !c.preview.empty() && c.preview[0].compare(0, 9, "not run: ") == 0;
    if (!needs_a_command) {
      EXPECT_EQ(preview.exit_status, done.exit_status) << preview.out << done.out;
      EXPECT_EQ(console_lines_of(preview.out), lines_of(done.out)) << preview.out;
    } else {
      EXPECT_EQ(done.exit_status, 1) << done.out << done.err;
      EXPECT_TRUE(contains(preview.err, "the commands before it were not run"))
          << preview.err;
    }
  }
}

TEST(PreviewE2E, OptionsAndExitStatuses) {
  temp_folder dir;
  dir.write("src/a.txt", "x");
  dir.write("ok.txt", "[txt_content_replace]\nx\ny\nsrc\nout\na.txt\n");
  dir.write("bad.txt", "[txt_content_replace]\nx\ny\nsrc\nout\nmissing.txt\n");
  dir.write("-x", "[system_command]\n");
  const struct {
    std::vector<std::string> arguments;
    int exit_status;
    std::string in_out;  // on standard output
    std::string in_err;  // on standard error
  } cases[] = {
      {{"--batch", "ok.txt"}, 0, "successed!", "0 failures"},
      {{"--batch", "bad.txt"}, 1, "txt_content_replace error.", "1 failure"},
      // Without --batch the old statuses: 1 at the end of the script.
      {{"--no-pause", "ok.txt"}, 1, "successed!", ""},
      {{"bad.txt"}, 0, "txt_content_replace error.", "bad.txt:6:"},
      {{"--frobnicate", "ok.txt"}, 2, "", "unknown option --frobnicate"},
      {{"--batch"}, 2, "", "quillmend --help"},
      {{"--help"}, 0, "Usage: quillmend [OPTION]... SCRIPT", ""},
      {{"--version"}, 0, "quillmend ", ""},
      {{"--batch", "--", "-x"}, 0, "", "0 failures"},
  };
  for (const auto& c : cases) {
    std::string words;
    for (const std::string& word : c.arguments) words += word + " ";
    run_options options;
    options.arguments = c.arguments;
    const run_result result = dir.run(options);
    EXPECT_EQ(result.exit_status, c.exit_status) << words << result.out << result.err;
    EXPECT_TRUE(contains(result.out, c.in_out)) << words << result.out;
    EXPECT_TRUE(contains(result.err, c.in_err)) << words << result.err;
  }
  EXPECT_FALSE(dir.exists("-x.quillmend")) << "nothing is made of the option-like name";
}

// The diff of a dry run, applied with patch to the old file, gives what the
// real run then writes.
TEST(PreviewE2E, TheDiffAppliesToGiveTheRealResult) {
  if (testing_windows_build()) GTEST_SKIP() << "the console adds CRs to every line there";
  const struct {
    const char* name;
    std::string content;
  } cases[] = {
      {"lines with LF", "keep\nold line\nkeep\nkeep\nkeep\nkeep\nkeep\nkeep\nold\n"},
      {"CR LF lines", "keep\r\nold\r\nkeep\r\n"},
      {"no line end at the end", "keep\nkeep\nthe old end"},
      {"one line without a line end", "old"},
      {"a change that joins lines", "a old\nb\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder dir;
    dir.write("site/f.txt", c.content);
    dir.write("script.txt", "[txt_content_replace]\nold\nnew\\n\nsite\nsite\nf.txt\n");
    run_options dry;
    dry.arguments = {"--dry-run", "--diff", "--no-pause", "script.txt"};
    const run_result preview = dir.run(dry);
    const std::size_t start = preview.out.find("--- site\\f.txt\n");
    ASSERT_NE(start, std::string::npos) << preview.out;
    dir.write("change.diff", preview.out.substr(start));
    run_options real;
    real.arguments = {"--batch", "script.txt"};
    ASSERT_EQ(dir.run(real).exit_status, 0);
    dir.write("old.txt", c.content);
    const std::string patch =
        "cd '" + dir.path() +
        "' && patch -s -o patched.txt old.txt change.diff >patch.log 2>&1";
    ASSERT_EQ(std::system(patch.c_str()), 0) << dir.read("patch.log") << preview.out;
    EXPECT_EQ(dir.read("patched.txt"), dir.read("site/f.txt"));
  }
}

TEST(PreviewE2E, DiffsOfNewAndBinaryFiles) {
  temp_folder dir;
  dir.write("src/a.txt", "old\n");
  dir.write("src/b.bin", std::string("old\0bytes", 9));
  dir.write("script.txt",
            "[txt_content_replace]\nold\nnew\nsrc\nsrc\nb.bin\n"
            "[txt_content_replace]\nold\nnew\nsrc\nout\na.txt\n");
  run_options options;
  options.arguments = {"--dry-run", "--diff", "--no-pause", "script.txt"};
  const run_result result = dir.run(options);
  EXPECT_TRUE(
      contains(result.out, as_written("Binary files src\\b.bin and src\\b.bin differ\n")))
      << result.out;
  EXPECT_TRUE(contains(result.out, as_written("new file out\\a.txt\n"))) << result.out;
  EXPECT_FALSE(contains(result.out, "+new")) << "a new file is not shown whole";
  EXPECT_FALSE(contains(result.out, "\x1b["))
      << "no colour when the output is not a terminal";
}

// One located line per kind of failure, naming the script line that caused
// it; standard output stays as it always was.
TEST(PreviewE2E, EveryFailureNamesItsScriptLine) {
  const struct {
    const char* name;
    std::map<std::string, std::string> files;
    std::string script;
    std::string located;  // on standard error
  } cases[] = {
      {"missing input, after a line of blanks",
       {},
       "[txt_content_replace]\nx\ny\nsrc\nout\n  \nno.txt\n",
       "script.txt:7: src\\no.txt"},
      {"empty name line",
       {{"src/a", "x"}},
       "[txt_content_replace]\nx\ny\nsrc\nout\n\n",
       "script.txt:6: src\\"},
      {"empty find text",
       {{"src/a", "x"}},
       "[txt_content_replace]\n\ny\nsrc\nout\na\n",
       "script.txt:6: src\\a"},
      {"header cut short",
       {},
       "[copy_file]\nsrc\n",
       "script.txt:1: a [copy_file] header needs 2 parameter lines, the script ended "
       "after 1"},
      {"unknown header",
       {},
       "[system_command]\n[Copy_file]\n",
       "script.txt:2: \"[Copy_file]\": not a section header"},
      {"not a copy line",
       {},
       "[copy_file]\nsrc\nout\n*.htm to .html\n",
       "script.txt:4: \"*.htm to .html\": not a copy line"},
      {"splice record cut short",
       {},
       "[txt_content_replace_txt]\nB\nE\n",
       "script.txt:2: a splice record needs 6 lines, the script ended after 2"},
      {"splice source missing",
       {{"t.txt", "B\nE\n"}},
       "[system_command]\n[txt_content_replace_txt]\nB\nE\nno.txt\nB\nE\nt.txt\n",
       "script.txt:5: no.txt (splice record from line 3)"},
      {"splice target without end marker",
       {{"s.txt", "B\nx\nE\n"}, {"t.txt", "B\nold\n"}},
       "[txt_content_replace_txt]\nB\nE\ns.txt\nB\nE\nt.txt\n",
       "script.txt:7: t.txt (splice record from line 2): the target has a start marker "
       "but "
       "no end marker after it"},
      {"splice source without start marker",
       {{"s.txt", "x\n"}, {"t.txt", "B\nE\n"}},
       "[txt_content_replace_txt]\nB\nE\ns.txt\nB\nE\nt.txt\n",
       "script.txt:4: s.txt (splice record from line 2): the source has no line with the "
       "start marker"},
      {"a copy that cannot be made",
       {{"src/a.htm", "x"}},
       "[copy_file]\nsrc\nno-such-folder\n*.htm > .html\n",
       "script.txt:4: copy \"src\\a.htm\" to \"no-such-folder\\a.html\" failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder dir;
    for (const auto& file : c.files) dir.write(file.first, file.second);
    const run_result result = dir.run_script(c.script);
    EXPECT_TRUE(contains(result.err, "quillmend: " + c.located)) << result.err;
  }
}

}  // namespace
}  // namespace quillmend_e2e
