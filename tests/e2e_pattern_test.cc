// End-to-end: file lists written as patterns, on a real tree with links, a
// FIFO and hidden entries.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

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

struct file_identity {
  long long mtime_ns;
  unsigned long long inode;
  bool operator==(const file_identity& other) const {
    return mtime_ns == other.mtime_ns && inode == other.inode;
  }
};

file_identity identity_of(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return {-1, 0};
  return {
      static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec,
      static_cast<unsigned long long>(info.st_ino)};
}

// Run twice, a script changes its files once: the second run leaves every
// file it would rewrite with the same content exactly as it was.
TEST(UnchangedE2E, ASecondRunTouchesNothing) {
  temp_folder dir;
  dir.write("site/a.htm", "old\n<m>\nold menu\n</m>\n");
  dir.write("site/sub/b.htm", "no occurrence\n");
  dir.write("menu.htm", "<m>\nnew menu\n</m>\n");
  dir.write("out/keep", "");
  const std::string script =
      "[txt_content_replace]\nold\nnew\nsite\nsite\n**\\*.htm\n"
      "[txt_content_replace]\nnew\nnewer\nsite\nmirror\n**\\*.htm\n"
      "[txt_content_replace_txt]\n<m>\n</m>\nmenu.htm\n<m>\n</m>\nsite\\a.htm\n"
      "[copy_file]\nsite\nout\n*.htm > .html\n";
  const run_result first = dir.run_script(script);
  ASSERT_EQ(first.exit_status, 1) << first.out << first.err;
  const char* const files[] = {"site/a.htm", "site/sub/b.htm", "mirror/a.htm",
                               "mirror/sub/b.htm", "out/a.html"};
  std::vector<file_identity> before;
  std::vector<std::string> contents;
  for (const char* file : files) {
    before.push_back(identity_of(dir.at(file)));
    contents.push_back(dir.read(file));
  }
  // A later mtime would show any rewrite, even within the same second.
  ::usleep(20000);
  const run_result second = dir.run_script(script);
  ASSERT_EQ(second.exit_status, 1) << second.out << second.err;
  EXPECT_EQ(second.out, first.out) << "the console lines of a written file";
  for (std::size_t i = 0; i < sizeof files / sizeof files[0]; ++i) {
    EXPECT_EQ(dir.read(files[i]), contents[i]) << files[i];
    EXPECT_TRUE(identity_of(dir.at(files[i])) == before[i])
        << files[i] << " was rewritten";
  }
}

}  // namespace
}  // namespace quillmend_e2e
