// End-to-end: files many times larger than the engine's block and the
// platform's write buffer, so that occurrences straddle blocks and writes
// fill the buffer exactly or overflow it. A full disk in the middle of such
// a file is among the full-disk cases of the robustness tests.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e_harness.h"
#include "tests/e2e_inputs.h"
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

}  // namespace
}  // namespace quillmend_e2e
