#include "common/shown_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "driver/run_script.h"
#include "tests/fake_platform.h"

namespace quillmend {
namespace {

using namespace std::string_literals;

TEST(ShownTextTest, ControlCharactersBecomeQuestionMarksOnlyOnATerminal) {
  const struct {
    std::string text;
    std::string on_terminal;
  } cases[] = {
      {"plain name.txt", "plain name.txt"},
      {"\x1b]0;owned\x07title.txt", "?]0;owned?title.txt"},
      {"\x1b[2J\x1b[H", "?[2J?[H"},
      {"a\rb\nc\td\x7f", "a?b?c?d?"},
      {"nul\0byte"s, "nul?byte"},
      {"caf\xc3\xa9 \xff", "caf\xc3\xa9 \xff"},  // bytes of 0x80 and above pass
      {"", ""},
  };
  for (const auto& c : cases) {
    std::ostringstream terminal, redirected;
    write_shown(terminal, c.text, true);
    write_shown(redirected, c.text, false);
    EXPECT_EQ(terminal.str(), c.on_terminal);
    EXPECT_EQ(redirected.str(), c.text);
  }
}

// A name with an escape sequence in both kinds of console line and in the
// located line.
TEST(ShownTextTest, NamesReachATerminalWithoutTheirControlCharacters) {
  const std::string evil = "\x1b]0;pwned\x07.txt";
  for (const bool terminal : {true, false}) {
    SCOPED_TRACE(terminal ? "terminal" : "redirected");
    fake_platform os;
    os.terminal = terminal;
    os.add_file("src\\" + evil, "one");
    os.add_file("script", "[txt_content_replace]\none\n1\nsrc\nout\n" + evil +
                              "\nmissing" + evil + "\n");
    const char* const args[] = {"quillmend", "script"};
    EXPECT_EQ(run_script(2, args, os), 0);
    const std::string shown_name = terminal ? "?]0;pwned?.txt" : evil;
    EXPECT_EQ(os.out.str(), "src\\" + shown_name + " to out\\" + shown_name +
                                " successed!\nopen src\\missing" + shown_name +
                                " failed.\n\ntxt_content_replace error.\n");
    EXPECT_NE(os.err.str().find("src\\missing" + shown_name + ": "), std::string::npos)
        << os.err.str();
    EXPECT_EQ(os.err.str().find('\x1b') != std::string::npos, !terminal);
    // The file itself keeps its name.
    EXPECT_EQ(os.files["out\\" + evil], "1");
  }
}

}  // namespace
}  // namespace quillmend
