// End-to-end: files whose whole path is longer than the 260 characters that
// the old Windows file functions stop at. Every handler that writes a file
// writes a temporary file beside it first, so a path the tool can read must
// also leave room for that file's name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/e2e_harness.h"

namespace quillmend_e2e {
namespace {

// A folder chain below `top` (relative, '/' separators) for a file `leaf`
// whose absolute path, as the binary sees it, is exactly `length`
// characters. The Windows build sees the folder as "Z:\tmp\..." under Wine.
std::string folder_for_length(const temp_folder& dir, const std::string& top,
                              const std::string& leaf, std::size_t length) {
  const std::size_t base =
      (testing_windows_build() ? 2 : 0) + dir.path().size() + 1 + top.size();
  // Each part is at most 100 characters, well within a name's limit.
  std::size_t rest = length - base - 1 - leaf.size();
  std::string folder = top;
  char letter = 'a';
  while (rest > 0) {
    const std::size_t part = std::min<std::size_t>(rest - 1, 100);
    // A part of a single character would leave nothing for its separator.
    const std::size_t size = (rest - 1 - part == 1) ? part - 1 : part;
    folder += "/" + std::string(size, letter);
    letter = letter == 'z' ? 'a' : static_cast<char>(letter + 1);
    rest -= size + 1;
  }
  return folder;
}

std::string backslashed(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::size_t absolute_length(const temp_folder& dir, const std::string& relative) {
  return (testing_windows_build() ? 2 : 0) + dir.path().size() + 1 + relative.size();
}

const char kPause[] = "Press any key to continue . . . \n";

enum class operation { replace_in_place, replace_into_new_folders, splice, copy };

const char* name_of(operation op) {
  switch (op) {
    case operation::replace_in_place:
      return "replace in place";
    case operation::replace_into_new_folders:
      return "replace into new folders";
    case operation::splice:
      return "splice";
    case operation::copy:
      return "copy";
  }
  return "";
}

// Runs `op` on a target whose absolute path is `length` characters and
// checks the target byte for byte, the console, and that nothing but the
// target is left in its folder.
void check_long_target(operation op, std::size_t length) {
  SCOPED_TRACE(std::string(name_of(op)) + ", " + std::to_string(length) + " characters");
  temp_folder dir;
  const std::string leaf = "page.html";
  const std::string folder = folder_for_length(dir, "t", leaf, length);
  const std::string target = folder + "/" + leaf;
  ASSERT_EQ(absolute_length(dir, target), length);
  const std::string win_folder = backslashed(folder), win_target = backslashed(target);
  std::string expected_content, expected_out;
  run_result result;
  switch (op) {
    case operation::replace_in_place:
      dir.write(target, "one old\r\ntwo old\n");
      result = dir.run_script("[txt_content_replace]\nold\nnew\n" + win_folder + "\n" +
                              win_folder + "\n" + leaf + "\n");
      expected_content = rewritten_text("one new\r\ntwo new\n");
      expected_out = win_target + " to " + win_target + " successed!\n" + kPause;
      break;
    case operation::replace_into_new_folders:
      dir.write("src/" + leaf, "old\n");
      result = dir.run_script("[txt_content_replace]\nold\nnew\nsrc\n" + win_folder +
                              "\n" + leaf + "\n");
      expected_content = rewritten_text("new\n");
      expected_out = "src\\" + leaf + " to " + win_target + " successed!\n" + kPause;
      break;
    case operation::splice:
      dir.write("menu.htm", "<!-- b -->\n<a>Home</a>\n<!-- e -->\n");
      dir.write(target, "top\n<!-- b -->\nold\n<!-- e -->\nend\n");
      result = dir.run_script(
          "[txt_content_replace_txt]\n<!-- b -->\n<!-- e -->\nmenu.htm\n"
          "<!-- b -->\n<!-- e -->\n" +
          win_target + "\n");
      expected_content = as_written("top\n<!-- b -->\n<a>Home</a>\n<!-- e -->\nend\n");
      expected_out = kPause;
      break;
    case operation::copy: {
      // The source is one character shorter: "page.htm" becomes "page.html".
      const std::string source_folder =
          folder_for_length(dir, "s", "page.htm", length - 1);
      dir.write(source_folder + "/page.htm", "bytes\r\n\x1a\xff");
      make_dirs(dir.at(folder));
      result = dir.run_script("[copy_file]\n" + backslashed(source_folder) + "\n" +
                              win_folder + "\n*.htm > .html\n");
      expected_content = "bytes\r\n\x1a\xff";
      expected_out = std::string(
                         "c:\\temp\\old\\myCopyTemp.txt to "
                         "c:\\temp\\new\\myCopyTemp.txt successed!\n") +
                     kPause;
      break;
    }
  }
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_EQ(result.out, as_written(expected_out)) << result.err;
  EXPECT_EQ(dir.read(target), expected_content);
  EXPECT_EQ(dir.list(folder), std::vector<std::string>{leaf});
}

// 245 failed in place with the old temporary name, 250 and 260 end just
// below, at and past the old limit, 300 well past it; 1,000 needs folders
// ten levels deep, every one of them created by the tool in the replace
// into new folders.
TEST(LongPathE2E, EveryHandlerWritesTargetsPastTheOldLimit) {
  for (const std::size_t length : {245u, 250u, 259u, 260u, 261u, 300u, 1000u})
    for (const operation op :
         {operation::replace_in_place, operation::replace_into_new_folders,
          operation::splice, operation::copy})
      check_long_target(op, length);
}

// The system is handed absolute paths: every relative form a script may
// use must still name what it named before, short or long.
TEST(LongPathE2E, RelativeFormsNameWhatTheyNamedBefore) {
  const struct {
    const char* what;
    std::string source;   // as the script writes it
    std::string written;  // where the test puts the file, "C:" for drive c:
  } cases[] = {
      {"a drive-relative path (c: is at its root)", "c:temp\\qm-relative",
       "C:temp/qm-relative"},
      {"a drive's root", "c:\\temp\\qm-relative", "C:temp/qm-relative"},
      {"dot and dot-dot", ".\\x\\..\\src", "src"},
      {"slashes", "x/../src", "src"},
      {"a long chain with dot-dot",
       std::string(200, 'd') + "\\" + std::string(200, 'e') + "\\..\\..\\src", "src"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    temp_folder dir;
    const std::string unix_folder = c.written.rfind("C:", 0) == 0
                                        ? dir.drive_c("c:\\" + c.written.substr(2))
                                        : dir.at(c.written);
    write_file(unix_folder + "/a.txt", "old");
    make_dirs(dir.at("x"));
    make_dirs(dir.at(std::string(200, 'd') + "/" + std::string(200, 'e')));
    const run_result result =
        dir.run_script("[txt_content_replace]\nold\nnew\n" + c.source + "\nout\na.txt\n");
    EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
    EXPECT_EQ(result.out,
              as_written(c.source + "\\a.txt to out\\a.txt successed!\n" + kPause));
    EXPECT_EQ(dir.read("out/a.txt"), "new");
    std::remove((unix_folder + "/a.txt").c_str());
  }
}

// Wine hands a path to Linux as "<prefix>/dosdevices/z:/tmp/...", and Linux
// takes at most 4,095 bytes: the longest path the Windows build can open
// under Wine. At that length the temporary file's usual name cannot fit
// beside the target, nor can it 20 characters below; a shorter one must.
TEST(LongPathE2E, TargetsAtTheLongestPathWineTakes) {
  if (!testing_windows_build()) GTEST_SKIP() << "Wine's own limit";
  const char* prefix = std::getenv("WINEPREFIX");
  const std::string unix_prefix = (prefix != nullptr && *prefix != '\0')
                                      ? prefix
                                      : std::string(std::getenv("HOME")) + "/.wine";
  // Windows characters are the Unix ones behind "Z:".
  const std::size_t longest = 4095 - (unix_prefix + "/dosdevices/z:").size() + 2;
  for (const std::size_t length : {longest - 20, longest})
    for (const operation op :
         {operation::replace_in_place, operation::replace_into_new_folders,
          operation::splice, operation::copy})
      check_long_target(op, length);
}

}  // namespace
}  // namespace quillmend_e2e
