// End-to-end: runs that share the work files under c:\temp. Copy lines and
// splice records hold the work-folder lock while they use them, so two runs
// side by side never read each other's lists or spliced file, and a run
// waits while someone else holds the lock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "tests/e2e_harness.h"

namespace quillmend_e2e {
namespace {

const char kPause[] = "Press any key to continue . . . \n";

// One side's files and a script that alternates copy lines, each with its
// own new names, and splice records, both on the side's own folders.
struct side {
  std::string name;  // "a" or "b"
  int files = 8;
  int rounds = 30;

  std::string file(int i) const {
    return name + std::to_string(10 + i);  // a10, a11, ...
  }

  void create(const temp_folder& dir) const {
    for (int i = 0; i < files; ++i)
      dir.write("src_" + name + "/" + file(i) + ".htm", file(i));
    make_dirs(dir.at("out_" + name));
    dir.write("menu_" + name + ".htm", "<m>\n" + name + " menu\n</m>\n");
    dir.write("page_" + name + ".htm", "head\n<m>\nold\n</m>\ntail\n");
  }

  std::string script() const {
    std::string text;
    for (int round = 0; round < rounds; ++round) {
      text += "[copy_file]\nsrc_" + name + "\nout_" + name + "\n*.htm > .r" +
              std::to_string(round) + "\n";
      text += "[txt_content_replace_txt]\n<m>\n</m>\nmenu_" + name +
              ".htm\n<m>\n</m>\npage_" + name + ".htm\n";
    }
    return text;
  }

  std::vector<std::string> expected_copies() const {
    std::set<std::string> names;
    for (int round = 0; round < rounds; ++round)
      for (int i = 0; i < files; ++i)
        names.insert(file(i) + ".r" + std::to_string(round));
    return {names.begin(), names.end()};
  }

  void check(const temp_folder& dir, const run_result& result) const {
    SCOPED_TRACE("side " + name);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, "");
    std::string expected_out;
    for (int round = 0; round < rounds; ++round)
      expected_out +=
          "c:\\temp\\old\\myCopyTemp.txt to c:\\temp\\new\\myCopyTemp.txt successed!\n";
    EXPECT_EQ(result.out, expected_out + kPause);
    const std::vector<std::string> copies = dir.list("out_" + name);
    EXPECT_EQ(copies, expected_copies());
    for (const std::string& copy : copies)
      EXPECT_EQ(dir.read("out_" + name + "/" + copy), copy.substr(0, copy.find('.')))
          << copy;
    EXPECT_EQ(dir.read("page_" + name + ".htm"),
              "head\n<m>\n" + name + " menu\n</m>\ntail\n");
  }
};

TEST(ConcurrencyE2E, TwoRunsSharingTheWorkFilesKeepTheirOwnLists) {
  if (testing_windows_build()) GTEST_SKIP() << "the lock is tested on POSIX";
  // Both runs start in one folder, so they share its drive c: and with it
  // the work lists, the spliced work file and the lock.
  temp_folder dir;
  const side sides[] = {{"a"}, {"b"}};
  std::vector<std::unique_ptr<started_run>> runs;
  for (const side& s : sides) {
    s.create(dir);
    dir.write("script_" + s.name + ".txt", s.script());
    run_options options;
    options.arguments = {"script_" + s.name + ".txt"};
    runs.push_back(dir.start(options));
  }
  for (std::size_t i = 0; i < runs.size(); ++i) sides[i].check(dir, runs[i]->wait());
}

TEST(ConcurrencyE2E, ARunWaitsForTheWorkLockAndReplaceLinesDoNot) {
  if (testing_windows_build()) GTEST_SKIP() << "the lock is tested on POSIX";
  temp_folder dir;
  dir.write("src/a.htm", "one");
  make_dirs(dir.at("out"));
  make_dirs(dir.drive_c("c:\\temp\\new"));
  const std::string lock_path = dir.drive_c("c:\\temp\\new\\quillmend.lock");
  const int lock = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);

  dir.write("script.txt",
            "[txt_content_replace]\none\n1\nsrc\nout\na.htm\n"
            "[copy_file]\nsrc\nout\n*.htm > .html\n");
  run_options options;
  options.arguments = {"script.txt"};
  std::unique_ptr<started_run> run = dir.start(options);

  // The replace line needs no lock: it is done while the lock is held.
  for (int i = 0; i < 10000 && run->running() && !dir.exists("out/a.htm"); ++i)
    ::usleep(1000);
  EXPECT_EQ(dir.read("out/a.htm"), "1");
  // The copy line waits as long as the lock is held.
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(run->running()) << "the run went on while the work lock was held";
    ::usleep(1000);
  }
  EXPECT_FALSE(dir.exists("out/a.html"));

  ::close(lock);
  const run_result result = run->wait();
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(dir.read("out/a.html"), "one");
}

}  // namespace
}  // namespace quillmend_e2e
