// End-to-end: the real binary, real files, one temporary folder per test.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e_harness.h"

namespace quillmend_e2e {
namespace {

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
    if (testing_windows_build()) {
      // The interpreter follows on the same console and in the same folder:
      // its greeting, then a prompt, before the end of input ends it.
      const std::string expected = as_written(banner);
      EXPECT_EQ(result.out.substr(0, expected.size()), expected);
      const std::string folder_name = dir.path().substr(dir.path().rfind('/') + 1);
      EXPECT_NE(result.out.find(folder_name + ">", expected.size()), std::string::npos)
          << result.out;
    } else {
      EXPECT_EQ(result.out, banner);
    }
  }
}

TEST(DriverE2E, EndOfScriptPausesAndExitsOne) {
  temp_folder dir;
  const run_result empty = dir.run_script("");
  EXPECT_EQ(empty.exit_status, 1);
  EXPECT_EQ(empty.out, as_written(kPause));

  const run_result header_only = dir.run_script("[system_command]\n");
  EXPECT_EQ(header_only.exit_status, 1);
  EXPECT_EQ(header_only.out, as_written(kPause));
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
    EXPECT_EQ(result.out, as_written(c.expected_out)) << c.script;
  }
}

TEST(DriverE2E, MissingScriptIsReportedAndNotCreated) {
  temp_folder dir;
  run_options options;
  options.arguments = {"no-such-script.txt"};
  const run_result result = dir.run(options);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, as_written("open no-such-script.txt failed.\n"));
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
  temp_folder dir;
  const std::string long_word(5000, 'x');
  // cmd's echo keeps a blank before ">"; sh's does not.
  const std::string redirect = testing_windows_build() ? "> long.txt" : " > long.txt";
  const run_result result = dir.run_script("[system_command]\necho " + long_word +
                                           redirect + "\n  echo ran\n\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(dir.read("long.txt"), as_written(long_word + "\n"));
  EXPECT_EQ(result.out, as_written("ran\n" + std::string(kPause)));
}

TEST(DriverE2E, SystemCommandLinesGoThroughTheInterpreter) {
  temp_folder dir;
  // Variables, command separators and quoting are the interpreter's.
  const std::string script = testing_windows_build()
                                 ? "[system_command]\necho %QM_WORD%& echo \"two\"\n"
                                 : "[system_command]\necho $QM_WORD; echo \"two\"\n";
  run_options options;
  options.extra_environment = {"QM_WORD=one"};
  const run_result result = dir.run_script(script, options);
  EXPECT_EQ(result.exit_status, 1);
  const std::string two = testing_windows_build() ? "\"two\"" : "two";
  EXPECT_EQ(result.out, as_written("one\n" + two + "\n" + kPause));
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
      as_written("open src\\[system_command] failed.\n\ntxt_content_replace error.\n"));
}

TEST(ReplaceE2E, DataLineEndsFollowThePlatformsTextMode) {
  temp_folder dir;
  // A CR LF across the 64 KiB mark where reads meet, a lone LF, a lone CR, a
  // 0x1A byte (never the end of input) and a CR at the very end.
  const std::string head(65535, '.');
  dir.write("src/a.txt", head + "\r\nb\nb\rb\032b\r");
  const run_result result =
      dir.run_script("[txt_content_replace]\nb\nB\nsrc\nout\na.txt\n");
  EXPECT_EQ(result.exit_status, 1) << result.out;
  const std::string expected =
      head + (testing_windows_build() ? "\r\nB\r\nB\rB\032B\r" : "\r\nB\nB\rB\032B\r");
  EXPECT_TRUE(dir.read("out/a.txt") == expected);
}

TEST(ReplaceE2E, DriveLetterPathsAreUsedAsWritten) {
  temp_folder dir;
  // Drive c: may be shared between runs (a Wine prefix): keep to a folder of
  // this test's own.
  const std::string folder = "c:\\" + dir.path().substr(dir.path().rfind('/') + 1);
  write_file(dir.drive_c(folder + "\\src\\a.txt"), "hello\n");
  const run_result result =
      dir.run_script("[txt_content_replace]\nhello\nbye\n" + folder + "\\src\nC:\\" +
                     folder.substr(3) + "\\out\na.txt\n");
  EXPECT_EQ(result.exit_status, 1) << result.out;
  EXPECT_EQ(result.out, as_written(folder + "\\src\\a.txt to C:\\" + folder.substr(3) +
                                   "\\out\\a.txt successed!\n" + kPause));
  EXPECT_EQ(read_file(dir.drive_c(folder + "\\out\\a.txt")), as_written("bye\n"));
  std::filesystem::remove_all(dir.drive_c(folder));
}

TEST(CopyE2E, OldListFolderMustExistOnlyOnWindows) {
  temp_folder dir;
  std::filesystem::remove_all(dir.drive_c("c:\\temp\\old"));
  dir.write("src/a.htm", "a");
  make_dirs(dir.at("out"));
  const run_result result = dir.run_script("[copy_file]\nsrc\nout\n*.htm > .html\n");
  if (testing_windows_build()) {
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, as_written("\ncopy_file error.\n"));
    EXPECT_NE(
        result.err.find("quillmend: script.txt:4: write c:\\temp\\old\\myCopyTemp.txt "
                        "failed: "),
        std::string::npos)
        << result.err;
    EXPECT_FALSE(dir.exists("out/a.html"));
    make_dirs(dir.drive_c("c:\\temp\\old"));
  } else {
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(dir.read("out/a.html"), "a");
  }
}

TEST(SpliceE2E, TheSplicedTargetIsWrittenInTextMode) {
  temp_folder dir;
  // The work folder c:\temp\new need not exist beforehand.
  std::filesystem::remove_all(dir.drive_c("c:\\temp\\new"));
  dir.write("menu.txt", "<m>\nnew 1\nnew 2\n</m>\n");
  dir.write("page.txt", "top\r\n<m>\nold\n</m>\nbottom");
  const run_result result = dir.run_script(
      "[txt_content_replace_txt]\n<m>\n</m>\nmenu.txt\n<m>\n</m>\npage.txt\n");
  EXPECT_EQ(result.exit_status, 1) << result.out;
  EXPECT_EQ(result.out, as_written(kPause));
  EXPECT_EQ(dir.read("page.txt"),
            testing_windows_build() ? as_written("top\n<m>\nnew 1\nnew 2\n</m>\nbottom\n")
                                    : "top\r\n<m>\nnew 1\nnew 2\n</m>\nbottom\n");
}

}  // namespace
}  // namespace quillmend_e2e
