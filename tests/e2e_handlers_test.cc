// End-to-end runs of the three file handlers: replace, splice, copy.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/e2e_harness.h"

namespace quillmend_e2e {
namespace {

std::string replace_script(const std::string& find, const std::string& replace,
                           const std::string& names,
                           const char* header = "[txt_content_replace]") {
  return std::string(header) + "\n" + find + "\n" + replace + "\nsrc\nout\n" + names;
}

mode_t mode_of(const std::string& path) {
  struct stat info;
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

TEST(ReplaceE2E, CreatesSubfoldersAndReportsEachFile) {
  temp_folder dir;
  dir.write("src/docs/deep/a.htm", "x old y");
  dir.write("src/b.htm", "old");
  const run_result result = dir.run_script(replace_script(
      "OLD", "new", "docs\\deep\\a.htm\n  b.htm\n", "[txt_content_replace_no_case]"));
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(dir.read("out/docs/deep/a.htm"), "x new y");
  EXPECT_EQ(dir.read("out/b.htm"), "new");
  EXPECT_EQ(result.out,
            as_written("src\\docs\\deep\\a.htm to out\\docs\\deep\\a.htm successed!\n"
                       "src\\b.htm to out\\b.htm successed!\n"
                       "Press any key to continue . . . \n"));
}

TEST(ReplaceE2E, InPlaceKeepsTheFileWhole) {
  temp_folder dir;
  std::string big;
  for (int i = 0; i < 200000; ++i) big += "line " + std::to_string(i) + " old\n";
  dir.write("src/big.txt", big);
  const run_result result =
      dir.run_script("[txt_content_replace]\nold\nnewer\nsrc\nsrc\nbig.txt\n");
  EXPECT_EQ(result.exit_status, 1);
  std::string expected;
  for (int i = 0; i < 200000; ++i) expected += "line " + std::to_string(i) + " newer\n";
  EXPECT_EQ(dir.read("src/big.txt"), as_written(expected));
  EXPECT_EQ(dir.list("src"), std::vector<std::string>{"big.txt"});
}

TEST(ReplaceE2E, EmptyFindTextAndMissingInputChangeNothing) {
  temp_folder dir;
  dir.write("src/a.txt", "content");
  dir.write("out/a.txt", "precious");
  const run_result empty_find = dir.run_script(replace_script("", "x", "a.txt\n"));
  EXPECT_EQ(empty_find.exit_status, 0);
  EXPECT_EQ(empty_find.out,
            as_written("src\\a.txt the text you want to replace can't be NULL.\n\n"
                       "txt_content_replace error.\n"));
  EXPECT_EQ(dir.read("out/a.txt"), "precious");

  const run_result missing = dir.run_script(replace_script("c", "x", "gone.txt\n"));
  EXPECT_EQ(missing.exit_status, 0);
  EXPECT_FALSE(dir.exists("src/gone.txt"));
  EXPECT_FALSE(dir.exists("out/gone.txt"));
  EXPECT_EQ(dir.list("out"), std::vector<std::string>{"a.txt"});
}

TEST(ReplaceE2E, PermissionBitsAndLinks) {
  if (testing_windows_build()) GTEST_SKIP() << "POSIX permission bits and links";
  temp_folder dir;
  dir.write("src/new.sh", "old");
  ::chmod(dir.at("src/new.sh").c_str(), 0751);
  dir.write("src/existing.txt", "old");
  dir.write("out/existing.txt", "earlier");
  ::chmod(dir.at("out/existing.txt").c_str(), 0604);
  dir.write("src/linked.txt", "old");
  dir.write("real/linked.txt", "earlier");
  // Bits that the usual umask would clear must survive too.
  dir.write("src/group.txt", "old");
  ::chmod(dir.at("src/group.txt").c_str(), 0664);
  dir.write("src/shared.txt", "old");
  dir.write("out/shared.txt", "earlier");
  ::chmod(dir.at("out/shared.txt").c_str(), 0666);
  make_dirs(dir.at("out"));
  ASSERT_EQ(::symlink("../real/linked.txt", dir.at("out/linked.txt").c_str()), 0);

  const mode_t saved_umask = ::umask(022);
  const run_result result = dir.run_script(replace_script(
      "old", "new", "new.sh\nexisting.txt\nlinked.txt\ngroup.txt\nshared.txt\n"));
  ::umask(saved_umask);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(mode_of(dir.at("out/new.sh")), 0751u);
  EXPECT_EQ(mode_of(dir.at("out/existing.txt")), 0604u);
  EXPECT_EQ(mode_of(dir.at("out/group.txt")), 0664u);
  EXPECT_EQ(mode_of(dir.at("out/shared.txt")), 0666u);
  struct stat info;
  ASSERT_EQ(::lstat(dir.at("out/linked.txt").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(dir.read("real/linked.txt"), "new");
  EXPECT_EQ(dir.list("out"),
            (std::vector<std::string>{"existing.txt", "group.txt", "linked.txt", "new.sh",
                                      "shared.txt"}));
}

TEST(ReplaceE2E, RootKeepsTheOwnerOfARewrittenFile) {
  if (testing_windows_build()) GTEST_SKIP() << "POSIX owners";
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  temp_folder dir;
  dir.write("src/a.txt", "old");
  dir.write("out/a.txt", "earlier");
  ASSERT_EQ(::chown(dir.at("out/a.txt").c_str(), 65534, 65534), 0);
  ::chmod(dir.at("out/a.txt").c_str(), 0640);
  const run_result result = dir.run_script(replace_script("old", "new", "a.txt\n"));
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(dir.read("out/a.txt"), "new");
  struct stat info;
  ASSERT_EQ(::stat(dir.at("out/a.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 65534u);
  EXPECT_EQ(info.st_gid, 65534u);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(SpliceE2E, SplicesAndCopiesBack) {
  temp_folder dir;
  dir.write("menu.htm", "<!-- begin -->\r\n<a>Home</a>\r\n<!-- end -->\r\n");
  dir.write("site/index.htm",
            "<html>\r\n<!-- begin -->\r\nold\r\n<!-- end -->\r\n</html>");
  const run_result result = dir.run_script(
      "[txt_content_replace_txt]\n<!-- begin -->\n<!-- end -->\nmenu.htm\n"
      "<!-- begin -->\n<!-- end -->\nsite\\index.htm\n");
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_EQ(
      dir.read("site/index.htm"),
      "<html>\r\n<!-- begin -->\r\n<a>Home</a>\r\n<!-- end -->\r\n</html>" + line_end());
  EXPECT_EQ(read_file(dir.drive_c("c:\\temp\\new\\temp.txt")),
            dir.read("site/index.htm"));
}

TEST(SpliceE2E, LongLinesPassWhole) {
  temp_folder dir;
  const std::string long_line(3 * 1024 * 1024, 'q');
  dir.write("s.txt", "B\n" + long_line + "\nE\n");
  dir.write("t.txt", long_line + "\nB\nE\n" + long_line + "\n");
  const run_result result =
      dir.run_script("[txt_content_replace_txt]\nB\nE\ns.txt\nB\nE\nt.txt\n");
  EXPECT_EQ(result.exit_status, 1);
  const std::string eol = line_end();
  EXPECT_EQ(dir.read("t.txt"),
            long_line + eol + "B" + eol + long_line + eol + "E" + eol + long_line + eol);
}

TEST(SpliceE2E, TargetUntouchedWhenTheWorkFileCannotBeWritten) {
  temp_folder dir;
  dir.write("s.txt", "B\nx\nE\n");
  dir.write("t.txt", "B\nold\nE\n");
  // A folder where the work file should be. On Windows drive c: is shared by
  // every test, so the folder goes again at the end.
  const std::string work_file = dir.drive_c("c:\\temp\\new\\temp.txt");
  ::unlink(work_file.c_str());
  make_dirs(work_file);
  const run_result result =
      dir.run_script("[txt_content_replace_txt]\nB\nE\ns.txt\nB\nE\nt.txt\n");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, as_written("txt_content_replace_txt error.\n"));
  EXPECT_EQ(dir.read("t.txt"), "B\nold\nE\n");
  ::rmdir(work_file.c_str());
}

class CopyLineE2E : public ::testing::Test {
 protected:
  CopyLineE2E() {
    dir.write("src/index.htm", "i");
    dir.write("src/Index2.HTM", "I");
    dir.write("src/a.htm.htm", "aa");
    dir.write("src/notes.txt", "n");
    make_dirs(dir.at("out"));
  }
  temp_folder dir;
};

TEST_F(CopyLineE2E, BothFormsRenameTheSame) {
  for (const char* line : {"*.htm > .html", ".html < *.htm"}) {
    temp_folder& d = dir;
    const run_result result =
        d.run_script(std::string("[copy_file]\nsrc\nout\n\n") + line + "\n");
    EXPECT_EQ(result.exit_status, 1) << line << result.out << result.err;
    EXPECT_EQ(d.list("out"),
              (std::vector<std::string>{"Index2.html", "a.html.html", "index.html"}))
        << line;
    EXPECT_EQ(d.read("out/a.html.html"), "aa");
    EXPECT_EQ(result.out, as_written("c:\\temp\\old\\myCopyTemp.txt to "
                                     "c:\\temp\\new\\myCopyTemp.txt successed!\n"
                                     "Press any key to continue . . . \n"));
    for (const std::string& name : d.list("out")) ::unlink(d.at("out/" + name).c_str());
  }
}

TEST_F(CopyLineE2E, QuotedPatternsWithABlank) {
  const struct {
    const char* line;
    const char* copied_as;
  } cases[] = {
      // The quotes go with the outer star; "page.htm" becomes ".txt".
      {"\"*page.htm\" > .txt", "my .txt"},
      // No outer star: the quotes stay, never occur in a name, and the file
      // keeps its own name.
      {"\"my *.htm\" > .txt", "my page.htm"},
  };
  for (const auto& c : cases) {
    temp_folder d;
    d.write("src/my page.htm", "p");
    d.write("src/index.htm", "i");
    make_dirs(d.at("out"));
    const run_result result =
        d.run_script(std::string("[copy_file]\nsrc\nout\n") + c.line);
    EXPECT_EQ(result.exit_status, 1) << c.line;
    EXPECT_EQ(d.list("out"), std::vector<std::string>{c.copied_as}) << c.line;
  }
}

TEST_F(CopyLineE2E, MissingTargetFolderReportsEachCopyAndGoesOn) {
  const run_result result =
      dir.run_script("[copy_file]\nsrc\nmissing\n*.htm > .html\n[system_command]\n");
  EXPECT_EQ(result.exit_status, 0);
  for (const char* name : {"index.html", "Index2.html", "a.html.html"})
    EXPECT_NE(result.err.find(std::string("\\") + name + "\" failed"), std::string::npos)
        << name << " in " << result.err;
  EXPECT_FALSE(dir.exists("missing"));
}

TEST_F(CopyLineE2E, MalformedLinesFail) {
  for (const char* line : {"a.txt to b.txt", "*.htm>.html"}) {
    const run_result result =
        dir.run_script(std::string("[copy_file]\nsrc\nout\n") + line + "\n");
    EXPECT_EQ(result.exit_status, 0) << line;
    EXPECT_EQ(result.out, as_written("\ncopy_file error.\n")) << line;
  }
}

}  // namespace
}  // namespace quillmend_e2e
