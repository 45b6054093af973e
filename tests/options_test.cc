#include "driver/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillmend {
namespace {

command_line parse(const std::vector<std::string>& words) {
  std::vector<const char*> arguments = {"quillmend"};
  for (const std::string& word : words) arguments.push_back(word.c_str());
  return parse_command_line(static_cast<int>(arguments.size()), arguments.data());
}

TEST(OptionsTest, CommandLines) {
  using action = command_line_action;
  const struct {
    std::vector<std::string> words;
    action expected;
    std::string script;
    bool dry_run, diff, batch, no_pause;
  } cases[] = {
      // Without options the count decides, as it always did.
      {{}, action::show_banner, "", false, false, false, false},
      {{"s.qms"}, action::run_script, "s.qms", false, false, false, false},
      {{"a", "b"}, action::show_banner, "", false, false, false, false},
      {{"-"}, action::run_script, "-", false, false, false, false},
      // An option after the script is not an option: two arguments.
      {{"s.qms", "--batch"}, action::show_banner, "", false, false, false, false},
      {{"-n", "s.qms"}, action::run_script, "s.qms", true, false, false, false},
      {{"--dry-run", "--diff", "s.qms"},
       action::run_script,
       "s.qms",
       true,
       true,
       false,
       false},
      {{"--batch", "s.qms"}, action::run_script, "s.qms", false, false, true, false},
      {{"--no-pause", "s.qms"}, action::run_script, "s.qms", false, false, false, true},
      {{"--", "-x"}, action::run_script, "-x", false, false, false, false},
      {{"-n", "--", "--batch"}, action::run_script, "--batch", true, false, false, false},
      {{"-nh"}, action::show_help, "", true, false, false, false},
      {{"--help"}, action::show_help, "", false, false, false, false},
      {{"-h", "a", "b"}, action::show_help, "", false, false, false, false},
      {{"--version"}, action::show_version, "", false, false, false, false},
      {{"-x"}, action::usage_error, "", false, false, false, false},
      {{"--dry"}, action::usage_error, "", false, false, false, false},
      {{"-nx", "s.qms"}, action::usage_error, "", false, false, false, false},
      {{"--batch"}, action::usage_error, "", false, false, false, false},
      {{"--batch", "a", "b"}, action::usage_error, "", false, false, false, false},
      {{"--"}, action::usage_error, "", false, false, false, false},
  };
  for (const auto& c : cases) {
    std::string words;
    for (const std::string& word : c.words) words += "[" + word + "]";
    const command_line line = parse(c.words);
    EXPECT_EQ(line.action, c.expected) << words;
    EXPECT_EQ(line.script_file, c.script) << words;
    if (c.expected == action::usage_error) {
      EXPECT_NE(line.error.find("quillmend --help"), std::string::npos) << words;
      continue;
    }
    EXPECT_EQ(line.options.dry_run, c.dry_run) << words;
    EXPECT_EQ(line.options.diff, c.diff) << words;
    EXPECT_EQ(line.options.batch, c.batch) << words;
    EXPECT_EQ(line.options.no_pause, c.no_pause) << words;
  }
}

TEST(OptionsTest, AnUnknownOptionIsNamed) {
  EXPECT_EQ(parse({"-n", "--frobnicate", "s"}).error,
            "quillmend: unknown option --frobnicate (see quillmend --help)");
  EXPECT_EQ(parse({"-nq", "s"}).error,
            "quillmend: unknown option -q (see quillmend --help)");
}

TEST(OptionsTest, HelpNamesEveryOptionAndSection) {
  const std::string help = help_text();
  for (const char* word :
       {"--dry-run", "--diff", "--batch", "--no-pause", "--help", "--version",
        "[txt_content_replace]", "[txt_content_replace_no_case]", "[copy_file]",
        "[txt_content_replace_txt]", "[system_command]", "man quillmend"})
    EXPECT_NE(help.find(word), std::string::npos) << word;
  EXPECT_NE(version_text().find("MIT"), std::string::npos);
}

}  // namespace
}  // namespace quillmend
