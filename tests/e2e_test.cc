// End-to-end: the real binary, real files, one temporary folder per test.
#include <gtest/gtest.h>

#include "tests/e2e_harness.h"

namespace quillmend_e2e {
namespace {

// Console text as the binary writes it: the Windows build's standard output
// is in text mode.
std::string console(std::string text) {
  if (!testing_windows_build()) return text;
  std::string converted;
  for (char c : text) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  return converted;
}

const char kPause[] = "Press any key to continue . . . \n";

TEST(DriverE2E, WithoutOneArgumentShowsTheBannerAndExitsZero) {
  const std::string banner =
      "____________________________________________________________________________ \n"
      "Quillmend v1.0 - A rational full txt replacement batch tool. \n"
      "     Author : Quillmend contributors\n"
      "      Email : team@quillmend.example\n"
      "         QQ : none\n"
      "   Thankfor : everyone who reported a bug or sent a patch\n"
      "\n"
      "      Usage : Quillmend ScriptFile\n"
      " ScriptFile : you Script File that used to tell Quillmend what to work with.\n"
      "____________________________________________________________________________ \n"
      "\n";
  temp_folder dir;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"a", "b"}}) {
    run_options options;
    options.arguments = args;
    // Keep the interactive shell from reading the user's start-up files.
    options.extra_environment = {"SHELL=/bin/sh"};
    const run_result result = dir.run(options);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, console(banner));
  }
}

TEST(DriverE2E, EndOfScriptPausesAndExitsOne) {
  temp_folder dir;
  const run_result empty = dir.run_script("");
  EXPECT_EQ(empty.exit_status, 1);
  EXPECT_EQ(empty.out, console(kPause));

  const run_result header_only = dir.run_script("[system_command]\n");
  EXPECT_EQ(header_only.exit_status, 1);
  EXPECT_EQ(header_only.out, console(kPause));
}

TEST(DriverE2E, FailuresPrintTheirMessageAndExitZero) {
  const struct {
    const char* script;
    const char* expected_out;
  } cases[] = {
      {"[Copy_file]\n", "\nSwitch operation mode error, check you script file.\n"},
      {"[copy_file] \n", "\nSwitch operation mode error, check you script file.\n"},
      {"[txt_content_replace]\na\nb\nc\n",
       "\nSwitch operation mode error, check you script file.\n"},
      {"[txt_content_replace]\na\nb\nsrc\nout\nmissing.txt\n",
       "open src\\missing.txt failed.\n\ntxt_content_replace error.\n"},
      {"[txt_content_replace_no_case]\na\nb\nsrc\nout\nmissing.txt\n",
       "open src\\missing.txt failed.\n\ntxt_content_replace_no_case error. \n"},
      {"[copy_file]\nsrc\nout\na.txt to b.txt\n", "\ncopy_file error.\n"},
      {"[txt_content_replace_txt]\nbegin\nend\nsrc\\missing.txt\nbegin\nend\nt.txt\n",
       "txt_content_replace_txt error.\n"},
      {"[txt_content_replace_txt]\nbegin\nend\n", "txt_content_replace_txt error.\n"},
      // Lines before any header are replace lines with nothing to find.
      {"stray.txt\n", "open \\stray.txt failed.\n\ntxt_content_replace error.\n"},
  };
  for (const auto& c : cases) {
    temp_folder dir;
    dir.write("src/a.txt", "a\n");
    const run_result result = dir.run_script(c.script);
    EXPECT_EQ(result.exit_status, 0) << c.script;
    EXPECT_EQ(result.out, console(c.expected_out)) << c.script;
  }
}

TEST(DriverE2E, MissingScriptIsReportedAndNotCreated) {
  temp_folder dir;
  run_options options;
  options.arguments = {"no-such-script.txt"};
  const run_result result = dir.run(options);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, console("open no-such-script.txt failed.\n"));
  EXPECT_FALSE(dir.exists("no-such-script.txt"));
}

TEST(DriverE2E, ScriptLinesReadTheSameWithAnyLineEnd) {
  for (const char* end : {"\n", "\r\n"}) {
    temp_folder dir;
    dir.write("src/a.txt", "one two");
    std::string script;
    for (const char* line : {"[txt_content_replace]", "two", "2", "src", "out", "a.txt"})
      script += std::string(line) + end;
    script.pop_back();  // the last line may lack its line feed
    if (std::string(end) == "\r\n") script.pop_back();
    const run_result result = dir.run_script(script);
    EXPECT_EQ(result.exit_status, 1) << result.out;
    EXPECT_EQ(dir.read("out/a.txt"), "one 2");
  }
}

TEST(DriverE2E, SystemCommandLinesRunAndLongLinesStayWhole) {
  if (testing_windows_build()) GTEST_SKIP() << "POSIX shell syntax";
  temp_folder dir;
  const std::string long_word(5000, 'x');
  const run_result result = dir.run_script("[system_command]\necho " + long_word +
                                           " > long.txt\n  echo ran\n\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(dir.read("long.txt"), long_word + "\n");
  EXPECT_EQ(result.out, "ran\n" + std::string(kPause));
}

TEST(DriverE2E, ParameterLinesAreDataEvenWithABracket) {
  temp_folder dir;
  dir.write("src/a.txt", "[x] stays? [x] goes");
  const run_result result =
      dir.run_script("[txt_content_replace]\n[x]\n[y]\nsrc\nout\na.txt\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(dir.read("out/a.txt"), "[y] stays? [y] goes");
}

TEST(DriverE2E, BlankBeforeBracketIsABodyLine) {
  temp_folder dir;
  dir.write("src/a.txt", "abc");
  // In a replace section the line is a file name: it does not exist.
  const run_result result =
      dir.run_script("[txt_content_replace]\nb\nB\nsrc\nout\n [system_command]\n");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(
      result.out,
      console("open src\\[system_command] failed.\n\ntxt_content_replace error.\n"));
}

}  // namespace
}  // namespace quillmend_e2e
