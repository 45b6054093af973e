#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/run_script.h"
#include "driver/section_header.h"
#include "tests/fake_platform.h"

namespace quillmend {
namespace {

// A state reading its script from `text`, positioned after the header line
// already in current_line.
script_state state_reading(fake_platform& os, const std::string& header,
                           const std::string& text) {
  os.add_file("script", text);
  script_state state;
  state.script_stream = std::make_unique<line_reader>(os.open_input("script").file);
  state.current_line = header;
  return state;
}

TEST(SectionHeaderTest, SetsModeAndParameterLines) {
  const struct {
    const char* header;
    section_mode mode;
    const char* find;
    const char* replace;
    const char* source;
    const char* target;
    bool ignore_case;
  } cases[] = {
      {"[txt_content_replace]", section_mode::txt_content_replace, "p1", "p2", "p3", "p4",
       false},
      {"[txt_content_replace_no_case]", section_mode::txt_content_replace_no_case, "p1",
       "p2", "p3", "p4", true},
      {"[copy_file]", section_mode::copy_file, "F", "R", "p1", "p2", true},
      {"[txt_content_replace_txt]", section_mode::txt_content_replace_txt, "F", "R", "S",
       "T", true},
      {"[system_command]", section_mode::system_command, "F", "R", "S", "T", true},
  };
  for (const auto& c : cases) {
    fake_platform os;
    script_state state = state_reading(os, c.header, "p1\np2\np3\np4\n");
    state.find_text = "F";
    state.replace_text = "R";
    state.source_dir = "S";
    state.target_dir = "T";
    state.ignore_case = true;
    reporter report(os, "script");
    ASSERT_TRUE(parse_section_header(state, report)) << c.header;
    EXPECT_EQ(state.operation_mode, c.mode) << c.header;
    EXPECT_EQ(state.find_text, c.find) << c.header;
    EXPECT_EQ(state.replace_text, c.replace) << c.header;
    EXPECT_EQ(state.source_dir, c.source) << c.header;
    EXPECT_EQ(state.target_dir, c.target) << c.header;
    EXPECT_EQ(state.ignore_case, c.ignore_case) << c.header;
  }
}

TEST(SectionHeaderTest, RejectsWhatIsNotExactlyAHeader) {
  for (const char* header : {"[Copy_file]", "[copy_file] ", "[copy_file", "[]", "[",
                             "[system_command]x", "[txt_content_replace_no_case "}) {
    fake_platform os;
    script_state state = state_reading(os, header, "a\nb\nc\nd\n");
    reporter report(os, "script");
    EXPECT_FALSE(parse_section_header(state, report)) << header;
    EXPECT_NE(os.err.str().find("not a section header"), std::string::npos) << header;
  }
}

TEST(SectionHeaderTest, FailsWhenParameterLinesRunOut) {
  fake_platform os;
  script_state state = state_reading(os, "[txt_content_replace]", "a\nb\nc");
  reporter report(os, "script");
  EXPECT_FALSE(parse_section_header(state, report));
  EXPECT_NE(os.err.str().find("a [txt_content_replace] header needs 4 parameter lines, "
                              "the script ended after 3"),
            std::string::npos)
      << os.err.str();
}

void run(fake_platform& os, const std::string& script, int& exit_status) {
  os.add_file("script", script);
  const char* const args[] = {"quillmend", "script"};
  exit_status = run_script(2, args, os);
}

TEST(DriverTest, NoCaseThenCaseSensitiveAgain) {
  fake_platform os;
  os.add_file("src\\a", "Ab ab");
  int exit_status = 0;
  run(os,
      "[txt_content_replace_no_case]\nab\nX\nsrc\nout1\na\n"
      "[system_command]\n"
      "[txt_content_replace]\nab\nX\nsrc\nout2\na\n",
      exit_status);
  EXPECT_EQ(exit_status, 1);
  EXPECT_EQ(os.files["out1\\a"], "X X");
  EXPECT_EQ(os.files["out2\\a"], "Ab X");
}

TEST(DriverTest, SystemCommandLinesPassUnchanged) {
  fake_platform os;
  int exit_status = 0;
  run(os, "[system_command]\n  dir /w\n\necho \"%x%\" & y\r\npause\n", exit_status);
  EXPECT_EQ(exit_status, 1);
  // The script's own "pause" is a command like any other; the run's pause
  // comes once, at the end.
  const std::vector<std::string> expected = {"  dir /w", "", "echo \"%x%\" & y", "pause",
                                             fake_platform::kPaused};
  EXPECT_EQ(os.commands, expected);
}

TEST(DriverTest, FirstFailureEndsTheRunWithoutPause) {
  fake_platform os;
  os.add_file("src\\a", "x");
  int exit_status = 0;
  run(os, "[txt_content_replace]\nx\ny\nsrc\nout\nmissing\na\n", exit_status);
  EXPECT_EQ(exit_status, 0);
  EXPECT_EQ(os.out.str(), "open src\\missing failed.\n\ntxt_content_replace error.\n");
  EXPECT_FALSE(os.exists("out\\a"));
  EXPECT_TRUE(os.commands.empty());
}

TEST(DriverTest, BannerThenInteractiveInterpreter) {
  fake_platform os;
  const char* const args[] = {"quillmend"};
  EXPECT_EQ(run_script(1, args, os), 0);
  EXPECT_EQ(os.commands, std::vector<std::string>{fake_platform::kInteractive});
  EXPECT_EQ(
      os.out.str().substr(0, 78),
      "____________________________________________________________________________ \n");
}

TEST(DriverTest, ScriptReadErrorIsNotSuccess) {
  fake_platform os;
  os.read_chunk = 4;
  os.add_file("script", "[system_command]\necho 1\n");
  os.fail_call("read", 2);
  const char* const args[] = {"quillmend", "script"};
  EXPECT_EQ(run_script(2, args, os), 0);
  EXPECT_EQ(os.out.str(), "read script failed.\n");
}

TEST(DriverTest, WorkLockIsHeldForCopyAndSplice) {
  fake_platform os;
  os.add_file("src\\a.htm", "x");
  os.add_file("s", "B\nx\nE\n");
  os.add_file("t", "B\nE\n");
  os.add_folder("out");
  int exit_status = 0;
  run(os,
      "[copy_file]\nsrc\nout\n*.htm > "
      ".html\n[txt_content_replace_txt]\nB\nE\ns\nB\nE\nt\n",
      exit_status);
  EXPECT_EQ(exit_status, 1);
  EXPECT_EQ(os.locks_taken, 2);
  EXPECT_EQ(os.locks_held, 0);
}

// Folders made on the way to a target are made once per run, and again
// after a command line, which may have removed them.
TEST(DriverTest, FoldersAreMadeOnceUntilACommandRuns) {
  fake_platform os;
  os.add_file("src\\a", "x");
  os.add_file("src\\b", "x");
  int exit_status = 0;
  run(os, "[txt_content_replace]\nx\ny\nsrc\nout\\deep\na\nb\n", exit_status);
  EXPECT_EQ(exit_status, 1);
  EXPECT_EQ(os.calls["make_dir"], 2) << "out and out\\deep, for the first file only";
  fake_platform again;
  again.add_file("src\\a", "x");
  run(again,
      "[txt_content_replace]\nx\ny\nsrc\nout\na\n[system_command]\nrm -r out\n"
      "[txt_content_replace]\nx\ny\nsrc\nout\na\n",
      exit_status);
  EXPECT_EQ(again.calls["make_dir"], 2) << "out, before and after the command";
}

// A line too large for memory ends the run like a failing line of its
// section, with a word on the diagnostics stream, rather than an abort.
TEST(DriverTest, RunningOutOfMemoryEndsTheRunWithTheModesMessage) {
  fake_platform os;
  os.read_chunk = 4;
  os.add_file("script", "[txt_content_replace]\na\nb\nsrc\nout\nhuge line\n");
  os.bad_alloc_at_read = 10;  // in the body line: the header took 9 reads of 4 bytes
  const char* const args[] = {"quillmend", "script"};
  EXPECT_EQ(run_script(2, args, os), 0);
  EXPECT_EQ(os.out.str(), "\ntxt_content_replace error.\n");
  EXPECT_NE(os.err.str().find("out of memory"), std::string::npos) << os.err.str();
  EXPECT_TRUE(os.commands.empty()) << "no pause after a failure";
}

}  // namespace
}  // namespace quillmend
