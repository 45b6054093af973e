// End-to-end: files many times larger than the engine's block and the
// platform's write buffer, so that occurrences straddle blocks, writes fill
// the buffer exactly or overflow it, and a full disk strikes mid-file.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e_harness.h"
#include "tests/reference_replace.h"

namespace quillmend_e2e {
namespace {

const char kPause[] = "Press any key to continue . . . \n";

// Line ends as the binary writes them, to its console and its text files:
// CR LF from the Windows build.
std::string with_line_ends(const std::string& text) {
  std::string converted;
  for (char c : text) {
    if (c == '\n')
      converted += line_end();
    else
      converted += c;
  }
  return converted;
}

// About 3 MiB: long runs without an occurrence (written straight through),
// stretches of close occurrences (gathered), mixed-case spellings, and an
// occurrence across every 64 KiB boundary.
std::string large_input() {
  std::string text;
  unsigned state = 12345;
  const auto next = [&state] { return state = state * 1103515245u + 12345u; };
  while (text.size() < 3 * 1024 * 1024) {
    const unsigned kind = (next() >> 16) % 4;
    if (kind == 0) {
      text += std::string(20000 + (next() >> 16) % 300000,
                          static_cast<char>('a' + (next() >> 16) % 20));
    } else if (kind == 1) {
      for (int i = 0; i < 2000; ++i) text += "Old.Example.com;";
    } else {
      text += "x old.example.com\n";
    }
  }
  for (std::size_t boundary = 65536; boundary + 20 < text.size(); boundary += 65536)
    text.replace(boundary - 7, 15, "old.example.com");
  return text;
}

TEST(LargeFileE2E, ReplacesThroughoutWithAndWithoutCase) {
  const std::string input = large_input();
  for (bool ignore_case : {false, true}) {
    temp_folder dir;
    dir.write("src/big.txt", input);
    const std::string header =
        ignore_case ? "[txt_content_replace_no_case]" : "[txt_content_replace]";
    const run_result result = dir.run_script(
        header + "\nold.example.com\nnew.example.org!\nsrc\nout\nbig.txt\n");
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, with_line_ends("src\\big.txt to out\\big.txt successed!\n" +
                                         std::string(kPause)));
    // Not EXPECT_EQ: a failure would print megabytes.
    EXPECT_TRUE(dir.read("out/big.txt") ==
                with_line_ends(quillmend_test::reference_replace(
                    input, "old.example.com", "new.example.org!", ignore_case)))
        << "ignore_case " << ignore_case;
  }
}

TEST(LargeFileE2E, DiskFullMidFileLeavesTheTargetAsItWas) {
  if (testing_windows_build()) GTEST_SKIP() << "file size limit of a POSIX process";
  temp_folder dir;
  dir.write("src/big.txt", large_input());
  dir.write("out/big.txt", "the old target\n");
  run_options options;
  options.file_size_limit = 1024 * 1024;
  const run_result result =
      dir.run_script("[txt_content_replace]\nold\nnew\nsrc\nout\nbig.txt\n", options);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out,
            "src\\big.txt write out\\big.txt failed.\n\ntxt_content_replace error.\n");
  EXPECT_EQ(dir.read("out/big.txt"), "the old target\n");
  EXPECT_EQ(dir.list("out"), std::vector<std::string>{"big.txt"});
}

}  // namespace
}  // namespace quillmend_e2e
