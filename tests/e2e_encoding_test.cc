// End-to-end: the character set a script is saved in, and the DOS
// end-of-file byte some editors leave after its last line.
//
// A script that starts with a UTF-8 or UTF-16 LE byte-order mark names its
// files and commands in Unicode; one without a mark keeps the bytes it has
// always had (on Windows, the ANSI code page). Texts to find and replace are
// bytes of the data files and are never converted.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/e2e_harness.h"

namespace quillmend_e2e {
namespace {

using namespace std::string_literals;

const char kPause[] = "Press any key to continue . . . \n";
const char kUtf8Mark[] = "\xEF\xBB\xBF";

// The bytes of a script saved as UTF-16 LE with its byte-order mark.
std::string utf16le(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

enum class runs_on { every_build, windows_build, posix_build };

struct file_content {
  std::string path;  // relative, '/' separators, as the test's own system names it
  std::string content;
};

struct encoding_case {
  const char* what;
  runs_on where;
  std::string script;
  std::vector<file_content> inputs;
  int exit_status;
  std::string out;  // before as_written
  // Each file as read back; replace targets are written in text mode.
  std::vector<file_content> outputs;
  std::vector<std::string> folders;  // that must exist afterwards
};

bool applies(runs_on where) {
  switch (where) {
    case runs_on::every_build:
      return true;
    case runs_on::windows_build:
      return testing_windows_build();
    case runs_on::posix_build:
      return !testing_windows_build();
  }
  return false;
}

void check(const encoding_case& c) {
  SCOPED_TRACE(c.what);
  temp_folder dir;
  for (const file_content& input : c.inputs) dir.write(input.path, input.content);
  const run_result result = dir.run_script(c.script);
  EXPECT_EQ(result.exit_status, c.exit_status) << result.out << result.err;
  EXPECT_EQ(result.out, as_written(c.out)) << result.err;
  for (const file_content& output : c.outputs)
    EXPECT_EQ(dir.read(output.path), output.content) << output.path;
  for (const std::string& folder : c.folders) {
    struct stat info;
    EXPECT_TRUE(::stat(dir.at(folder).c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        << folder << " in " << ::testing::PrintToString(dir.list(""));
  }
}

std::string done(const std::string& from, const std::string& to) {
  return from + " to " + to + " successed!\n";
}

TEST(ScriptEncodingE2E, MarksAndCodePagesDecideHowNamesAreRead) {
  const std::string replace = "[txt_content_replace]\nold\nnew\n";
  const encoding_case cases[] = {
      {"a UTF-8 mark before the first header is not part of it",
       runs_on::every_build,
       kUtf8Mark + replace + "src\nout\na.txt\n",
       {{"src/a.txt", "old"}},
       1,
       done("src\\a.txt", "out\\a.txt") + kPause,
       {{"out/a.txt", "new"}},
       {}},
      {"a UTF-8 mark before CR LF lines",
       runs_on::every_build,
       kUtf8Mark + "[txt_content_replace]\r\nold\r\nnew\r\nsrc\r\nout\r\na.txt\r\n"s,
       {{"src/a.txt", "old"}},
       1,
       done("src\\a.txt", "out\\a.txt") + kPause,
       {{"out/a.txt", "new"}},
       {}},
      {"a UTF-8 mark anywhere else is data: here in the find text",
       runs_on::every_build,
       "[txt_content_replace]\n"s + kUtf8Mark + "old\nnew\nsrc\nout\na.txt\n",
       {{"src/a.txt", kUtf8Mark + "old old"s}},
       1,
       done("src\\a.txt", "out\\a.txt") + kPause,
       {{"out/a.txt", "new old"}},
       {}},
      {"a UTF-8 mark naming accented folders, and a command making one",
       runs_on::every_build,
       kUtf8Mark + replace + "src\\Caf\xC3\xA9\nout\\Cr\xC3\xA8me\na.txt\n" +
           "[system_command]\nmkdir \xC3\x89t\xC3\xA9\n",
       {{"src/Caf\xC3\xA9/a.txt", "old"}},
       1,
       done("src\\Caf\xC3\xA9\\a.txt", "out\\Cr\xC3\xA8me\\a.txt") + kPause,
       {{"out/Cr\xC3\xA8me/a.txt", "new"}},
       {"\xC3\x89t\xC3\xA9"}},
      {"without a mark, names are the script's bytes",
       runs_on::posix_build,
       replace + "src\\Caf\xE9\nout\na.txt\n",
       {{"src/Caf\xE9/a.txt", "old"}},
       1,
       done("src\\Caf\xE9\\a.txt", "out\\a.txt") + kPause,
       {{"out/a.txt", "new"}},
       {}},
      // Wine's ANSI code page for the tests' locale is 1252.
      {"without a mark, names are in the ANSI code page",
       runs_on::windows_build,
       replace +
           "src\\Caf\xE9\nout\\Cr\xE8me\na.txt\n[system_command]\nmkdir \xC9t\xE9\n",
       {{"src/Caf\xC3\xA9/a.txt", "old"}},
       1,
       done("src\\Caf\xE9\\a.txt", "out\\Cr\xE8me\\a.txt") + kPause,
       {{"out/Cr\xC3\xA8me/a.txt", "new"}},
       {"\xC3\x89t\xC3\xA9"}},
      {"without a mark, UTF-8 bytes still mean ANSI characters",
       runs_on::windows_build,
       replace + "src\\Caf\xC3\xA9\nout\na.txt\n",
       // "Ã©" as the test's own system spells it
       {{"src/Caf\xC3\x83\xC2\xA9/a.txt", "old"}},
       1,
       done("src\\Caf\xC3\xA9\\a.txt", "out\\a.txt") + kPause,
       {{"out/a.txt", "new"}},
       {}},
      {"find and replace texts are never converted",
       runs_on::every_build,
       kUtf8Mark + "[txt_content_replace]\n\xC3\xA9\ne\nsrc\nout\nansi.txt\nutf8.txt\n"s,
       {{"src/ansi.txt", "Caf\xE9"}, {"src/utf8.txt", "Caf\xC3\xA9"}},
       1,
       done("src\\ansi.txt", "out\\ansi.txt") + done("src\\utf8.txt", "out\\utf8.txt") +
           kPause,
       {{"out/ansi.txt", "Caf\xE9"}, {"out/utf8.txt", "Cafe"}},
       {}},
      {"UTF-16 LE: names, and a find text that becomes UTF-8",
       runs_on::every_build,
       utf16le(u"[txt_content_replace]\r\n\u00E9\r\ne\r\nsrc\\Caf\u00E9\r\nout\r\n"
               u"a.txt\r\n[system_command]\r\nmkdir Cr\u00E8me\r\n"),
       {{"src/Caf\xC3\xA9/a.txt", "Caf\xC3\xA9 Caf\xE9"}},
       1,
       done("src\\Caf\xC3\xA9\\a.txt", "out\\a.txt") + kPause,
       {{"out/a.txt", "Cafe Caf\xE9"}},
       {"Cr\xC3\xA8me"}},
      {"a UTF-8 mark, copying names the ANSI code page cannot hold",
       runs_on::every_build,
       kUtf8Mark + "[copy_file]\nsrc\nout\n*.htm > .html\n"s,
       {{"src/\xCE\xA9mega.htm", "w"}, {"src/Caf\xC3\xA9.htm", "e"}, {"out/.keep", ""}},
       1,
       "c:\\temp\\old\\myCopyTemp.txt to c:\\temp\\new\\myCopyTemp.txt successed!\n"s +
           kPause,
       {{"out/\xCE\xA9mega.html", "w"}, {"out/Caf\xC3\xA9.html", "e"}},
       {}},
      {"UTF-16 LE: a surrogate pair in a folder name",
       runs_on::every_build,
       utf16le(u"[txt_content_replace]\nold\nnew\nsrc\nout\\\U0001D11E\na.txt\n"),
       {{"src/a.txt", "old"}},
       1,
       done("src\\a.txt", "out\\\xF0\x9D\x84\x9E\\a.txt") + kPause,
       {{"out/\xF0\x9D\x84\x9E/a.txt", "new"}},
       {}},
  };
  for (const encoding_case& c : cases)
    if (applies(c.where)) check(c);
}

TEST(ScriptEncodingE2E, OnlyAFinal0x1AByteEndsTheScript) {
  const std::string replace = "[txt_content_replace]\nold\nnew\nsrc\nout\n";
  const std::string one_file = done("src\\a.txt", "out\\a.txt") + kPause;
  const encoding_case cases[] = {
      {"after the last line end",
       runs_on::every_build,
       replace + "a.txt\n\x1A",
       {{"src/a.txt", "old"}},
       1,
       one_file,
       {{"out/a.txt", "new"}},
       {}},
      {"after CR LF",
       runs_on::every_build,
       "[txt_content_replace]\r\nold\r\nnew\r\nsrc\r\nout\r\na.txt\r\n\x1A",
       {{"src/a.txt", "old"}},
       1,
       one_file,
       {{"out/a.txt", "new"}},
       {}},
      {"right after the last line",
       runs_on::every_build,
       replace + "a.txt\x1A",
       {{"src/a.txt", "old"}},
       1,
       one_file,
       {{"out/a.txt", "new"}},
       {}},
      {"after a UTF-8 mark and a command",
       runs_on::every_build,
       kUtf8Mark + "[system_command]\nmkdir made\n\x1A"s,
       {},
       1,
       kPause,
       {},
       {"made"}},
      {"after UTF-16 LE lines, as a single odd byte",
       runs_on::every_build,
       utf16le(u"[txt_content_replace]\nold\nnew\nsrc\nout\na.txt\n") + "\x1A",
       {{"src/a.txt", "old"}},
       1,
       one_file,
       {{"out/a.txt", "new"}},
       {}},
      {"the one before the last stays a name",
       runs_on::every_build,
       replace + "a.txt\n\x1A\x1A",
       {{"src/a.txt", "old"}},
       0,
       done("src\\a.txt", "out\\a.txt") +
           "open src\\\x1A failed.\n\ntxt_content_replace error.\n",
       {{"out/a.txt", "new"}},
       {}},
      {"inside the find text and the data it stays data",
       runs_on::every_build,
       "[txt_content_replace]\nx\x1Ay\nz\nsrc\nout\na.txt\n",
       {{"src/a.txt", "x\x1Ay x\x1A\x1A"}},
       1,
       one_file,
       {{"out/a.txt", "z x\x1A\x1A"}},
       {}},
  };
  for (const encoding_case& c : cases)
    if (applies(c.where)) check(c);
}

}  // namespace
}  // namespace quillmend_e2e
