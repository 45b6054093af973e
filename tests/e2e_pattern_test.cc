// End-to-end: file lists written as patterns, on a real tree with links, a
// FIFO and hidden entries.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/e2e_harness.h"

namespace quillmend_e2e {
namespace {

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class PatternE2E : public ::testing::Test {
 protected:
  PatternE2E() {
    dir.write("site/index.htm", "old\n");
    dir.write("site/A.HTM", "old\n");
    dir.write("site/docs/page.htm", "old old\n");
    dir.write("site/docs/deep/more.htm", "old\n");
    dir.write("site/.hidden.htm", "old\n");
    dir.write("site/.git/config.htm", "old\n");
    dir.write("elsewhere/outside.htm", "old\n");
  }
  temp_folder dir;
};

TEST_F(PatternE2E, ATreeInOneLine) {
  const run_result result =
      dir.run_script("[txt_content_replace]\nold\nnew\nsite\nout\n**\\*.htm\n");
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_EQ(dir.read("out/index.htm"), rewritten_text("new\n"));
  EXPECT_EQ(dir.read("out/A.HTM"), rewritten_text("new\n"));
  EXPECT_EQ(dir.read("out/docs/page.htm"), rewritten_text("new new\n"));
  EXPECT_EQ(dir.read("out/docs/deep/more.htm"), rewritten_text("new\n"));
  EXPECT_FALSE(dir.exists("out/.hidden.htm"));
  EXPECT_FALSE(dir.exists("out/.git"));
  // Sorted, so that runs repeat; the console lines are those of names.
  EXPECT_EQ(result.out,
            as_written("site\\A.HTM to out\\A.HTM successed!\n"
                       "site\\docs\\deep\\more.htm to out\\docs\\deep\\more.htm "
                       "successed!\n"
                       "site\\docs\\page.htm to out\\docs\\page.htm successed!\n"
                       "site\\index.htm to out\\index.htm successed!\n"
                       "Press any key to continue . . . \n"));
}

TEST_F(PatternE2E, ATargetInsideTheSourceIsLeftOut) {
  dir.write("site/out/stale.htm", "old\n");
  const run_result result =
      dir.run_script("[txt_content_replace]\nold\nnew\nsite\nsite\\out\n**\\*.htm\n");
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_FALSE(dir.exists("site/out/out"));
  EXPECT_EQ(dir.read("site/out/stale.htm"), "old\n");
  EXPECT_EQ(dir.read("site/out/index.htm"), rewritten_text("new\n"));
}

TEST_F(PatternE2E, NoMatchFailsLikeAMissingFile) {
  const run_result result =
      dir.run_script("[txt_content_replace]\nold\nnew\nsite\nout\n*.none\n");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out,
            as_written("open site\\*.none failed.\n\ntxt_content_replace error.\n"));
  EXPECT_TRUE(contains(result.err, "no regular file matches")) << result.err;
}

TEST_F(PatternE2E, LinksFifosAndTheSameFileTwice) {
  if (testing_windows_build()) GTEST_SKIP() << "symbolic links and FIFOs are POSIX here";
  ASSERT_EQ(::symlink("index.htm", dir.at("site/also-index.htm").c_str()), 0);
  ASSERT_EQ(::symlink("../elsewhere", dir.at("site/linked-folder").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.at("site/pipe.htm").c_str(), 0644), 0);
  const run_result result =
      dir.run_script("[txt_content_replace]\nold\nnew\nsite\nsite\n**\\*.htm\n");
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  // Rewritten once, through whichever name came first; the link stays.
  EXPECT_EQ(dir.read("site/index.htm"), "new\n");
  EXPECT_TRUE(contains(result.out, "site\\also-index.htm to site\\also-index.htm"));
  EXPECT_FALSE(contains(result.out, "site\\index.htm to")) << result.out;
  struct stat info;
  ASSERT_EQ(::lstat(dir.at("site/also-index.htm").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(dir.read("elsewhere/outside.htm"), "old\n")
      << "a link to a folder was followed";
  EXPECT_FALSE(contains(result.out, "pipe.htm"));
}

TEST_F(PatternE2E, ASpliceIntoAPatternOfTargets) {
  dir.write("menu.htm", "<m>\nnew menu\n</m>\n");
  dir.write("site/index.htm", "top\n<m>\nold\n</m>\n");
  dir.write("site/A.HTM", "<m>\n</m>\nend\n");
  const run_result result = dir.run_script(
      "[txt_content_replace_txt]\n<m>\n</m>\nmenu.htm\n<m>\n</m>\nsite\\*.htm\n");
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_EQ(dir.read("site/index.htm"), rewritten_text("top\n<m>\nnew menu\n</m>\n"));
  EXPECT_EQ(dir.read("site/A.HTM"), rewritten_text("<m>\nnew menu\n</m>\nend\n"));
  EXPECT_EQ(dir.read("site/docs/page.htm"), "old old\n") << "not in the pattern";
}

}  // namespace
}  // namespace quillmend_e2e
