// End-to-end runs of the bundled examples: each script of examples/ runs on a
// fresh copy of that folder, and its result files and console output must be
// exactly what the README shows.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/e2e_harness.h"

namespace quillmend_e2e {
namespace {

// Copies the folder `from` into `to`, hidden files included (copy\out is kept
// in the repository by a hidden placeholder, because the copy section does
// not create its target folder).
void copy_tree(const std::string& from, const std::string& to) {
  make_dirs(to);
  DIR* dir = ::opendir(from.c_str());
  ASSERT_NE(dir, nullptr) << from;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  for (const std::string& name : names) {
    struct stat info;
    ASSERT_EQ(::stat((from + "/" + name).c_str(), &info), 0) << name;
    if (S_ISDIR(info.st_mode))
      copy_tree(from + "/" + name, to + "/" + name);
    else
      write_file(to + "/" + name, read_file(from + "/" + name));
  }
}

const char kPause[] = "Press any key to continue . . . \n";

class ExamplesE2E : public ::testing::Test {
 protected:
  ExamplesE2E() { copy_tree(QUILLMEND_EXAMPLES_DIR, dir.path()); }

  run_result run_example(const std::string& script) const {
    run_options options;
    options.arguments = {script};
    return dir.run(options);
  }

  temp_folder dir;
};

TEST_F(ExamplesE2E, Replace) {
  const run_result result = run_example("replace.qms");
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_EQ(result.out,
            as_written("replace\\in\\letter.txt to replace\\out\\letter.txt successed!\n"
                       "replace\\in\\notes\\todo.txt to replace\\out\\notes\\todo.txt "
                       "successed!\n") +
                as_written(kPause));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(dir.read("replace/out/letter.txt"),
            as_written("Dear customer,\n"
                       "\n"
                       "thank you for your order with New Name Ltd.\n"
                       "New Name Ltd will deliver it next week.\n"
                       "OLD NAME LTD in capitals stays: this section matches letter case "
                       "exactly.\n"
                       "\n"
                       "New Name Ltd\n"));
  EXPECT_EQ(dir.read("replace/out/notes/todo.txt"),
            as_written("- tell the bank about New Name Ltd\n"
                       "- new letterhead\n"));
  EXPECT_EQ(dir.read("replace/in/notes/todo.txt"),
            "- tell the bank about Old Name Ltd\n"
            "- new letterhead\n");
}

TEST_F(ExamplesE2E, ReplaceIgnoringCase) {
  const run_result result = run_example("replace-no-case.qms");
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_EQ(result.out, as_written("replace-no-case\\in\\links.htm to "
                                   "replace-no-case\\out\\links.htm successed!\n") +
                            as_written(kPause));
  EXPECT_EQ(dir.read("replace-no-case/out/links.htm"),
            as_written("<a href=\"https://www.example.com/\">Home</a>\n"
                       "<a href=\"https://www.example.com/shop\">Shop</a>\n"
                       "<a href=\"https://www.example.com/contact\">Contact</a>\n"
                       "<a href=\"http://www.example.org/\">Not ours</a>\n"));
}

TEST_F(ExamplesE2E, CopyWithRenaming) {
  const run_result result = run_example("copy.qms");
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  const std::string list_line =
      "c:\\temp\\old\\myCopyTemp.txt to c:\\temp\\new\\myCopyTemp.txt successed!\n";
  EXPECT_EQ(result.out, as_written(list_line + list_line + kPause));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(dir.list("copy/out"),
            (std::vector<std::string>{".gitkeep", "About.html", "index.html",
                                      "report-1.txt", "report-2.txt"}));
  // Copies are byte for byte, on every platform.
  const struct {
    const char* copy;
    const char* content;
  } cases[] = {
      {"About.html", "<p>About us</p>\n"},
      {"index.html", "<p>Home</p>\n"},
      {"report-1.txt", "First draft.\n"},
      {"report-2.txt", "Second draft.\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(dir.read("copy/out/" + std::string(c.copy)), c.content) << c.copy;
  // The work lists show the last line's renaming.
  EXPECT_EQ(read_file(dir.drive_c("c:\\temp\\new\\myCopyTemp.txt")),
            as_written("report-1.txt\nreport-2.txt\n"));
}

TEST_F(ExamplesE2E, SpliceIsTheSameWhenRunAgain) {
  const std::string servers =
      "# begin servers\n"
      "server = alpha.example.net\n"
      "server = beta.example.net\n"
      "server = gamma.example.net\n"
      "# end servers\n";
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    const run_result result = run_example("splice.qms");
    EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
    EXPECT_EQ(result.out, as_written(kPause));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(dir.read("splice/app.conf"),
              as_written("# app.conf\nport = 8080\n" + servers + "log = info\n"));
    EXPECT_EQ(dir.read("splice/backup.conf"),
              as_written("# backup.conf\nschedule = daily\n" + servers + "keep = 7\n"));
  }
}

TEST_F(ExamplesE2E, Commands) {
  const run_result result = run_example("commands.qms");
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_EQ(
      result.out,
      as_written("Hello from a system_command section.\n"
                 "Each body line is handed to the command interpreter as it is.\n") +
          as_written(kPause));
}

TEST_F(ExamplesE2E, Site) {
  const run_result result = run_example("site.qms");
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_EQ(result.out,
            as_written("site\\src\\index.htm to site\\out\\index.htm successed!\n"
                       "site\\src\\docs\\about.htm to site\\out\\docs\\about.htm "
                       "successed!\n"
                       "c:\\temp\\old\\myCopyTemp.txt to c:\\temp\\new\\myCopyTemp.txt "
                       "successed!\n"
                       "The site is ready in site/out.\n") +
                as_written(kPause));
  EXPECT_EQ(dir.list("site/out"),
            (std::vector<std::string>{"docs", "index.htm", "index.html"}));
  EXPECT_EQ(dir.read("site/out/index.html"),
            as_written("<html>\n"
                       "<head><title>New Name Ltd</title></head>\n"
                       "<body>\n"
                       "<!-- menu begin -->\n"
                       "<a href=\"index.html\">Home</a>\n"
                       "<a href=\"docs/about.htm\">About</a>\n"
                       "<!-- menu end -->\n"
                       "<p>Welcome to New Name Ltd. OLD NAME LTD stays: the section is "
                       "case-sensitive.</p>\n"
                       "</body>\n"
                       "</html>\n"));
}

// The README's preview: what the replace example would do in place, shown
// and changing nothing.
TEST_F(ExamplesE2E, PreviewChangesNothing) {
  const std::string letter = dir.read("replace/in/letter.txt");
  run_options options;
  options.arguments = {"-n", "--diff", "--no-pause", "preview.qms"};
  const run_result result = dir.run(options);
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_EQ(dir.read("replace/in/letter.txt"), letter);
  if (testing_windows_build()) return;  // its files have CR LF line ends there
  EXPECT_EQ(result.out,
            "replace\\in\\letter.txt to replace\\in\\letter.txt successed!\n"
            "  would write replace\\in\\letter.txt: 3 replacements\n"
            "--- replace\\in\\letter.txt\n"
            "+++ replace\\in\\letter.txt\n"
            "@@ -1,7 +1,7 @@\n"
            " Dear customer,\n"
            " \n"
            "-thank you for your order with Old Name Ltd.\n"
            "-Old Name Ltd will deliver it next week.\n"
            "+thank you for your order with New Name Ltd.\n"
            "+New Name Ltd will deliver it next week.\n"
            " OLD NAME LTD in capitals stays: this section matches letter case exactly.\n"
            " \n"
            "-Old Name Ltd\n"
            "+New Name Ltd\n"
            "replace\\in\\notes\\todo.txt to replace\\in\\notes\\todo.txt successed!\n"
            "  would write replace\\in\\notes\\todo.txt: 1 replacement\n"
            "--- replace\\in\\notes\\todo.txt\n"
            "+++ replace\\in\\notes\\todo.txt\n"
            "@@ -1,2 +1,2 @@\n"
            "-- tell the bank about Old Name Ltd\n"
            "+- tell the bank about New Name Ltd\n"
            " - new letterhead\n");
}

}  // namespace
}  // namespace quillmend_e2e
