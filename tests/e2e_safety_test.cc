// End-to-end: the real binary among other users, other processes and
// unusual files. Links planted in shared work folders, FIFOs and devices
// where files should be, metadata of rewritten files, inputs that change or
// runs that are interrupted, and failures that must not end as success.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e_harness.h"

extern char** environ;

namespace quillmend_e2e {
namespace {

// ---------------------------------------------------------------------------
// Runs as another user, in a changed environment, with a time limit.
//
// The harness starts the binary as the test's own user and waits for it
// without limit. Until it offers the user to run as (a run_options field),
// the runs below that need one, or a time limit (a FIFO must not hang the
// test), or the memory the run used, go through this helper. Nothing else
// in this file depends on how it works.

struct identity {
  uid_t uid;
  gid_t gid;
  std::vector<gid_t> groups;
};

struct own_run {
  const identity* as = nullptr;       // the test's own user when null
  std::vector<std::string> unset;     // variables taken out of the environment
  std::vector<std::string> set;       // "NAME=value", replacing the variable
  int time_limit_seconds = 20;        // then the run is killed
  long file_size_limit = 256L << 20;  // RLIMIT_FSIZE: bounds a runaway write
};

struct own_result : run_result {
  bool timed_out = false;
  long max_rss_kib = 0;
  double seconds = 0;
};

std::string binary_under_test() {
  const char* binary = std::getenv("QUILLMEND_E2E_BINARY");
  return (binary != nullptr && *binary != '\0') ? binary : QUILLMEND_BINARY;
}

bool named_in(const std::vector<std::string>& names, const char* entry) {
  for (const std::string& name : names)
    if (std::strncmp(entry, (name + "=").c_str(), name.size() + 1) == 0) return true;
  return false;
}

// In the child: drops to `who` for good, supplementary groups first.
bool become(const identity& who) {
  return ::setgroups(who.groups.size(), who.groups.data()) == 0 &&
         ::setgid(who.gid) == 0 && ::setuid(who.uid) == 0;
}

own_result run_own(const temp_folder& dir, const std::string& script,
                   const own_run& how) {
  dir.write("script.txt", script);
  const std::string out_path = dir.at(".own-stdout"), err_path = dir.at(".own-stderr");
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry)
    if (std::strncmp(*entry, "QUILLMEND_DRIVES=", 17) != 0 &&
        !named_in(how.unset, *entry))
      environment.push_back(*entry);
  for (const std::string& entry : how.set) {
    const std::string name = entry.substr(0, entry.find('='));
    environment.erase(std::remove_if(environment.begin(), environment.end(),
                                     [&](const std::string& e) {
                                       return e.compare(0, name.size() + 1, name + "=") ==
                                              0;
                                     }),
                      environment.end());
    environment.push_back(entry);
  }
  if (!named_in(how.unset, "QUILLMEND_DRIVES=x"))
    environment.push_back("QUILLMEND_DRIVES=" + dir.at("drives"));
  std::vector<std::string> argv = {binary_under_test(), "script.txt"};

  const auto started = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || ::chdir(dir.path().c_str()) != 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    const rlimit limit{static_cast<rlim_t>(how.file_size_limit),
                       static_cast<rlim_t>(how.file_size_limit)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::signal(SIGXFSZ, SIG_IGN);
    if (how.as != nullptr && !become(*how.as)) ::_exit(125);
    std::vector<char*> args, envs;
    for (std::string& a : argv) args.push_back(&a[0]);
    args.push_back(nullptr);
    for (std::string& e : environment) envs.push_back(&e[0]);
    envs.push_back(nullptr);
    ::execve(args[0], args.data(), envs.data());
    ::_exit(127);
  }
  own_result result;
  if (child < 0) return result;
  int wait_status = 0;
  rusage usage{};
  for (;;) {
    if (::wait4(child, &wait_status, WNOHANG, &usage) == child) break;
    const auto waited = std::chrono::steady_clock::now() - started;
    if (waited > std::chrono::seconds(how.time_limit_seconds)) {
      result.timed_out = true;
      ::kill(child, SIGKILL);
      ::wait4(child, &wait_status, 0, &usage);
      break;
    }
    ::usleep(2000);
  }
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (WIFEXITED(wait_status)) result.exit_status = WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) result.signal = WTERMSIG(wait_status);
  result.max_rss_kib = usage.ru_maxrss;
  result.out = read_file(out_path);
  result.err = read_file(err_path);
  ::unlink(out_path.c_str());
  ::unlink(err_path.c_str());
  return result;
}

// Runs `action` in a child process as `who`; true when it returned true.
bool as_user(const identity& who, const std::function<bool()>& action) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(become(who) && action() ? 0 : 1);
  int wait_status = 0;
  ::waitpid(child, &wait_status, 0);
  return WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0;
}

// ---------------------------------------------------------------------------

const identity kNobody{65534, 65534, {}};

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos;
       at = text.find(part, at + part.size()))
    ++count;
  return count;
}

bool is_partial_file(const std::string& name) {
  return contains(name, ".quillmend-partial-");
}

// Partial files left anywhere under `relative` (one level of folders).
std::vector<std::string> partial_files(const temp_folder& dir,
                                       const std::string& relative) {
  std::vector<std::string> found;
  for (const std::string& name : dir.list(relative)) {
    const std::string path = relative.empty() ? name : relative + "/" + name;
    if (is_partial_file(name)) found.push_back(path);
    struct stat info;
    if (::lstat(dir.at(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode))
      for (const std::string& inner : dir.list(path))
        if (is_partial_file(inner)) found.push_back(path + "/" + inner);
  }
  return found;
}

struct stat lstat_of(const std::string& path) {
  struct stat info {};
  ::lstat(path.c_str(), &info);
  return info;
}

mode_t mode_of(const std::string& path) { return lstat_of(path).st_mode & 07777; }

bool is_link(const std::string& path) { return S_ISLNK(lstat_of(path).st_mode); }

bool is_regular(const std::string& path) { return S_ISREG(lstat_of(path).st_mode); }

std::string listed_line() {
  return "c:\\temp\\old\\myCopyTemp.txt to c:\\temp\\new\\myCopyTemp.txt successed!\n";
}

const char kPause[] = "Press any key to continue . . . \n";

bool skip_unless_root() { return ::geteuid() != 0; }

// ---------------------------------------------------------------------------
// Link attack: another user plants links in shared work folders.

enum class planted {
  attackers_own_folders,
  links_to_attackers_folder,
  roots_open_folders
};

TEST(SafetyE2E, LinksPlantedInSharedWorkFoldersReachNothing) {
  if (testing_windows_build())
    GTEST_SKIP() << "the work folders are the user's on Windows";
  if (skip_unless_root())
    GTEST_SKIP() << "needs root: the attacker runs as uid 65534 against a root run";
  const struct {
    const char* name;
    planted how;
  } kinds[] = {
      {"the attacker made c:\\temp\\new and c:\\temp\\old",
       planted::attackers_own_folders},
      {"c:\\temp\\new and c:\\temp\\old are links to the attacker's folder",
       planted::links_to_attackers_folder},
      {"root's own work folders, writable by all as on a WSL drive",
       planted::roots_open_folders},
  };
  const struct {
    const char* name;
    mode_t mode;
  } shared_folders[] = {{"sticky", 01777}, {"not sticky", 0777}};
  const std::string script =
      "[txt_content_replace_txt]\n<m>\n</m>\nprivate\\menu.htm\n<m>\n</m>\npublic\\page."
      "htm\n[copy_file]\nsrc\nout\n*.htm > .html\n";

  for (const auto& shared : shared_folders) {
    for (const auto& kind : kinds) {
      SCOPED_TRACE(std::string(kind.name) + ", c:\\temp " + shared.name);
      temp_folder dir;
      ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
      dir.write("victim/passwd", "precious\n");
      dir.write("victim/shadow", "secret\n");
      dir.write("private/menu.htm", "<m>\nsecret block\n</m>\n");
      ASSERT_EQ(::chmod(dir.at("private/menu.htm").c_str(), 0600), 0);
      dir.write("public/page.htm", "<m>\nold\n</m>\n");
      dir.write("src/a.htm", "A");
      make_dirs(dir.at("out"));
      make_dirs(dir.at("attacker"));
      ASSERT_EQ(::chown(dir.at("attacker").c_str(), kNobody.uid, kNobody.gid), 0);
      const std::string temp = dir.drive_c("c:\\temp");
      make_dirs(temp);
      ASSERT_EQ(::chmod(temp.c_str(), shared.mode), 0);
      if (kind.how == planted::roots_open_folders) {
        for (const char* folder : {"/new", "/old"}) {
          make_dirs(temp + folder);
          ASSERT_EQ(::chmod((temp + folder).c_str(), 0777), 0);
        }
      }

      const std::string attacker = dir.at("attacker");
      const std::string victim = dir.at("victim");
      ASSERT_TRUE(as_user(kNobody, [&] {
        std::string new_folder = temp + "/new", old_folder = temp + "/old";
        if (kind.how == planted::attackers_own_folders) {
          if (::mkdir(new_folder.c_str(), 0777) != 0 || ::mkdir(old_folder.c_str(), 0777))
            return false;
          ::chmod(new_folder.c_str(), 0777);
          ::chmod(old_folder.c_str(), 0777);
        }
        if (kind.how == planted::links_to_attackers_folder) {
          if (::symlink(attacker.c_str(), new_folder.c_str()) != 0 ||
              ::symlink(attacker.c_str(), old_folder.c_str()) != 0)
            return false;
          new_folder = old_folder = attacker;
        }
        return ::symlink((victim + "/passwd").c_str(),
                         (new_folder + "/temp.txt").c_str()) == 0 &&
               ::symlink((victim + "/shadow").c_str(),
                         (old_folder + "/myCopyTemp.txt").c_str()) == 0 &&
               (kind.how == planted::links_to_attackers_folder ||
                ::symlink((victim + "/shadow").c_str(),
                          (new_folder + "/myCopyTemp.txt").c_str()) == 0) &&
               ::symlink((victim + "/created").c_str(),
                         (new_folder + "/quillmend.lock").c_str()) == 0 &&
               ::symlink((victim + "/created-too").c_str(),
                         (temp + "/quillmend.lock").c_str()) == 0;
      })) << "the attacker could not plant the links";

      const run_result result = dir.run_script(script);
      EXPECT_EQ(result.signal, 0);
      EXPECT_EQ(dir.read("victim/passwd"), "precious\n");
      EXPECT_EQ(dir.read("victim/shadow"), "secret\n");
      EXPECT_FALSE(dir.exists("victim/created"));
      EXPECT_FALSE(dir.exists("victim/created-too"));
      for (const std::string& name : dir.list("attacker"))
        EXPECT_FALSE(contains(read_file(attacker + "/" + name), "secret block")) << name;

      if (kind.how == planted::roots_open_folders) {
        // Used, safely: the planted entries were replaced, never followed.
        EXPECT_EQ(result.exit_status, 1) << result.err;
        EXPECT_EQ(dir.read("public/page.htm"), "<m>\nsecret block\n</m>\n");
        EXPECT_EQ(dir.read("out/a.html"), "A");
        for (const char* work : {"/new/temp.txt", "/new/myCopyTemp.txt",
                                 "/old/myCopyTemp.txt", "/new/quillmend.lock"}) {
          EXPECT_TRUE(is_regular(temp + work)) << work;
          EXPECT_EQ(mode_of(temp + work), 0600u) << work;
        }
      } else {
        // Refused with the folder and what to do; the section fails.
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_EQ(result.out, "txt_content_replace_txt error.\n");
        EXPECT_TRUE(contains(result.err, "c:\\temp\\new")) << result.err;
        EXPECT_TRUE(contains(result.err, kind.how == planted::attackers_own_folders
                                             ? "not of this user (0); remove it"
                                             : "a symbolic link where the tool keeps its "
                                               "own work folder; remove the link"))
            << result.err;
        EXPECT_EQ(dir.read("public/page.htm"), "<m>\nold\n</m>\n");
        // A copy line alone is refused the same way, before it lists.
        const run_result copied =
            dir.run_script("[copy_file]\nsrc\nout\n*.htm > .html\n");
        EXPECT_EQ(copied.exit_status, 0);
        EXPECT_EQ(copied.out, "\ncopy_file error.\n");
        EXPECT_TRUE(contains(copied.err,
                             "write c:\\temp\\old\\myCopyTemp.txt failed: "
                             "c:\\temp\\old ("))
            << copied.err;
        EXPECT_FALSE(dir.exists("out/a.html"));
        EXPECT_EQ(dir.read("victim/shadow"), "secret\n");
      }
    }
  }
}

TEST(SafetyE2E, WorkFoldersAndFilesArePrivate) {
  if (testing_windows_build())
    GTEST_SKIP() << "the work folders are the user's on Windows";
  const struct {
    const char* name;
    bool left_by_an_older_run;  // folders 0755 and files 0644 already there
  } cases[] = {{"a fresh machine", false},
               {"folders and files left open by an older version", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder dir;
    dir.write("menu.htm", "<m>\nprivate block\n</m>\n");
    ASSERT_EQ(::chmod(dir.at("menu.htm").c_str(), 0600), 0);
    dir.write("page.htm", "<m>\n</m>\n");
    dir.write("src/a.htm", "A");
    make_dirs(dir.at("out"));
    const std::string temp = dir.drive_c("c:\\temp");
    if (c.left_by_an_older_run) {
      for (const char* file : {"/new/temp.txt", "/new/myCopyTemp.txt",
                               "/old/myCopyTemp.txt", "/quillmend.lock"}) {
        write_file(temp + file, "old");
        ::chmod((temp + file).c_str(), 0644);
      }
      ::chmod((temp + "/new").c_str(), 0755);
      ::chmod((temp + "/old").c_str(), 0755);
    }
    const run_result result = dir.run_script(
        "[txt_content_replace_txt]\n<m>\n</m>\nmenu.htm\n<m>\n</m>\npage.htm\n"
        "[copy_file]\nsrc\nout\n*.htm > .html\n");
    EXPECT_EQ(result.exit_status, 1) << result.err;
    EXPECT_EQ(dir.read("page.htm"), "<m>\nprivate block\n</m>\n");
    EXPECT_EQ(mode_of(temp + "/new"), 0700u);
    EXPECT_EQ(mode_of(temp + "/old"), 0700u);
    for (const char* file : {"/new/temp.txt", "/new/myCopyTemp.txt",
                             "/old/myCopyTemp.txt", "/new/quillmend.lock"})
      EXPECT_EQ(mode_of(temp + file), 0600u) << file;
  }
}

TEST(SafetyE2E, ARunWaitingForTheWorkLockSaysSoOnce) {
  if (testing_windows_build()) GTEST_SKIP() << "the lock is tested on POSIX";
  temp_folder dir;
  dir.write("src/a.htm", "A");
  make_dirs(dir.at("out"));
  const std::string folder = dir.drive_c("c:\\temp\\new");
  make_dirs(folder);
  ::chmod(folder.c_str(), 0700);
  const int lock =
      ::open((folder + "/quillmend.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  dir.write("script.txt", "[copy_file]\nsrc\nout\n*.htm > .html\n");
  run_options options;
  options.arguments = {"script.txt"};
  std::unique_ptr<started_run> run = dir.start(options);
  ::usleep(2500 * 1000);
  EXPECT_TRUE(run->running()) << "the run did not wait for the lock";
  ::close(lock);
  const run_result result = run->wait();
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(dir.read("out/a.html"), "A");
  EXPECT_EQ(count_of(result.err,
                     "waiting for another quillmend run to finish with c:\\temp\\new"),
            1u)
      << result.err;
}

// ---------------------------------------------------------------------------
// Special files: FIFOs and devices where regular files should be.

enum class special { fifo, link_to_dev_zero, zero_device };

const char* name_of(special kind) {
  switch (kind) {
    case special::fifo:
      return "a FIFO";
    case special::link_to_dev_zero:
      return "a link to /dev/zero";
    case special::zero_device:
      return "a device node like /dev/zero";
  }
  return "";
}

// False when this kind cannot be made here (a device node needs root).
bool make_special(special kind, const std::string& path) {
  switch (kind) {
    case special::fifo:
      return ::mkfifo(path.c_str(), 0666) == 0;
    case special::link_to_dev_zero:
      return ::symlink("/dev/zero", path.c_str()) == 0;
    case special::zero_device:
      return ::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(1, 5)) == 0;
  }
  return false;
}

TEST(SafetyE2E, OnlyRegularFilesAreReadOrReplaced) {
  if (testing_windows_build()) GTEST_SKIP() << "FIFOs and device nodes are POSIX files";
  const std::string splice =
      "[txt_content_replace_txt]\n<m>\n</m>\nmenu.htm\n<m>\n</m>\npage.htm\n";
  const std::string copy = "[copy_file]\nsrc\nout\n*.htm > .html\n";
  const std::string replace = "[txt_content_replace]\nold\nnew\nsrc\nout\nx.txt\n";
  // Targets are never links to the real /dev/zero here: a build that
  // followed one would replace the machine's own device.
  const struct {
    const char* role;
    std::vector<special> kinds;
    const char* special_path;
    std::string script;
    int exit_status;
    std::string expected_out;
    std::string expected_err;  // a part of it
  } cases[] = {
      {"in a replace list",
       {special::fifo, special::link_to_dev_zero},
       "src/x.txt",
       replace,
       0,
       "open src\\x.txt failed.\n\ntxt_content_replace error.\n",
       "src\\x.txt (src/x.txt): not a regular file"},
      {"as a replace target",
       {special::fifo, special::zero_device},
       "out/x.txt",
       replace,
       0,
       "src\\x.txt open out\\x.txt failed.\n\ntxt_content_replace error.\n",
       "out\\x.txt (out/x.txt): not a regular file"},
      {"as a splice source",
       {special::fifo, special::link_to_dev_zero},
       "menu.htm",
       splice,
       0,
       "txt_content_replace_txt error.\n",
       "menu.htm (splice record from line 2): not a regular file"},
      {"as a splice target",
       {special::fifo, special::zero_device},
       "page.htm",
       splice,
       0,
       "txt_content_replace_txt error.\n",
       "page.htm (splice record from line 2): not a regular file"},
      {"found by a copy pattern",
       {special::fifo, special::link_to_dev_zero},
       "src/evil.htm",
       copy,
       0,
       listed_line() + kPause,
       "copy \"src\\evil.htm\" to \"out\\evil.html\" failed: not a regular file"},
      {"as a copy target",
       {special::fifo, special::zero_device},
       "out/a.html",
       copy,
       0,
       listed_line() + kPause,
       "copy \"src\\a.htm\" to \"out\\a.html\" failed: not a regular file"},
  };
  for (const auto& c : cases) {
    for (const special kind : c.kinds) {
      SCOPED_TRACE(std::string(name_of(kind)) + " " + c.role);
      temp_folder dir;
      dir.write("src/x.txt", "old");
      dir.write("src/a.htm", "A");
      dir.write("menu.htm", "<m>\nnew\n</m>\n");
      dir.write("page.htm", "<m>\nold\n</m>\n");
      make_dirs(dir.at("out"));
      ::unlink(dir.at(c.special_path).c_str());
      if (!make_special(kind, dir.at(c.special_path))) {
        std::cout << "[ skipped  ] " << name_of(kind) << " " << c.role
                  << ": cannot be made here" << std::endl;
        continue;
      }
      const mode_t type_before = lstat_of(dir.at(c.special_path)).st_mode & S_IFMT;
      own_run how;
      how.time_limit_seconds = 10;
      const own_result result = run_own(dir, c.script, how);
      EXPECT_FALSE(result.timed_out) << "still running after 10 seconds";
      EXPECT_EQ(result.signal, 0);
      EXPECT_LT(result.seconds, 5.0);
      EXPECT_EQ(result.exit_status, c.exit_status);
      EXPECT_EQ(result.out, c.expected_out);
      EXPECT_TRUE(contains(result.err, c.expected_err)) << result.err;
      EXPECT_EQ(lstat_of(dir.at(c.special_path)).st_mode & S_IFMT, type_before)
          << "the special file was replaced";
      // A special file is never read here: a FIFO would block the test.
      if (std::string(c.special_path) != "page.htm") {
        EXPECT_EQ(dir.read("page.htm"), "<m>\nold\n</m>\n");
      }
      EXPECT_EQ(partial_files(dir, ""), std::vector<std::string>{});
      EXPECT_EQ(partial_files(dir, "drives/c/temp"), std::vector<std::string>{});
      EXPECT_FALSE(dir.exists("out/evil.html"));
      if (c.script == copy && std::string(c.special_path) != "out/a.html") {
        EXPECT_EQ(dir.read("out/a.html"), "A") << "the other copy was not made";
      }
    }
  }
}

// The script itself is not a data file: it may come from a FIFO whose
// writer starts after the run, and is waited for.
TEST(SafetyE2E, AScriptMayComeFromAFifo) {
  if (testing_windows_build()) GTEST_SKIP() << "FIFOs are POSIX files";
  temp_folder dir;
  ASSERT_EQ(::mkfifo(dir.at("script.fifo").c_str(), 0600), 0);
  run_options options;
  options.arguments = {"script.fifo"};
  std::unique_ptr<started_run> run = dir.start(options);
  ::usleep(300 * 1000);  // the run is there first
  // Without blocking: a run that gave up on the FIFO has no reader left.
  int writer = -1;
  for (int i = 0; i < 1000 && writer < 0 && run->running(); ++i) {
    writer = ::open(dir.at("script.fifo").c_str(), O_WRONLY | O_NONBLOCK);
    if (writer < 0) ::usleep(10 * 1000);
  }
  ASSERT_GE(writer, 0) << "the run did not wait for the script";
  const std::string script = "[txt_content_replace]\none\n1\nsrc\nout\na.txt\n";
  dir.write("src/a.txt", "one");
  ASSERT_EQ(::write(writer, script.data(), script.size()),
            static_cast<ssize_t>(script.size()));
  ::close(writer);
  const run_result result = run->wait();
  EXPECT_EQ(result.exit_status, 1) << result.err;
  EXPECT_EQ(dir.read("out/a.txt"), "1");
}

TEST(SafetyE2E, LinksToRegularFilesAreFollowed) {
  if (testing_windows_build()) GTEST_SKIP() << "symbolic links made from POSIX";
  temp_folder dir;
  dir.write("real/x.txt", "old x");
  dir.write("real/a.htm", "A");
  make_dirs(dir.at("src"));
  make_dirs(dir.at("out"));
  ASSERT_EQ(::symlink("../real/x.txt", dir.at("src/x.txt").c_str()), 0);
  ASSERT_EQ(::symlink("../real/a.htm", dir.at("src/a.htm").c_str()), 0);
  const run_result result = dir.run_script(
      "[txt_content_replace]\nold\nnew\nsrc\nout\nx.txt\n[copy_file]\nsrc\nout\n*.htm > "
      ".html\n");
  EXPECT_EQ(result.exit_status, 1) << result.err;
  EXPECT_EQ(dir.read("out/x.txt"), "new x");
  EXPECT_EQ(dir.read("out/a.html"), "A");
  EXPECT_TRUE(is_link(dir.at("src/x.txt")));
}

// ---------------------------------------------------------------------------
// Metadata of copies and rewritten files.

std::string xattr_of(const std::string& path, const char* name) {
  std::string value(4096, '\0');
  const ssize_t size = ::lgetxattr(path.c_str(), name, &value[0], value.size());
  if (size < 0) return "<none>";
  value.resize(static_cast<std::size_t>(size));
  return value;
}

// An access ACL granting user 4321 read access: header, then entries of
// tag, permissions and id, as the kernel stores system.posix_acl_access.
std::string acl_with_one_user() {
  std::string acl;
  const auto add32 = [&acl](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) acl += static_cast<char>((v >> (8 * i)) & 0xff);
  };
  const auto entry = [&](std::uint16_t tag, std::uint16_t perm, std::uint32_t id) {
    add32(static_cast<std::uint32_t>(tag) | (static_cast<std::uint32_t>(perm) << 16));
    add32(id);
  };
  add32(2);                     // version
  entry(0x01, 6, 0xffffffffu);  // owner rw
  entry(0x02, 4, 4321);         // user 4321 r
  entry(0x04, 4, 0xffffffffu);  // group r
  entry(0x10, 4, 0xffffffffu);  // mask r
  entry(0x20, 0, 0xffffffffu);  // others nothing
  return acl;
}

TEST(SafetyE2E, MetadataOfCopiesAndRewrittenFiles) {
  if (testing_windows_build()) GTEST_SKIP() << "POSIX owners, modes and attributes";
  if (skip_unless_root()) GTEST_SKIP() << "needs root to own files as other users";
  const identity group_member{1234, 1234, {2345}};
  const std::string in_place = "[txt_content_replace]\none\n1\nsite\nsite\na.txt\n";
  const std::string into_out = "[txt_content_replace]\none\n1\nsite\nout\na.txt\n";
  const std::string copy = "[copy_file]\nsite\nout\n*.htm > .html\n";
  const struct {
    const char* name;
    std::function<bool(const temp_folder&)> setup;  // false: cannot be set up here
    std::string script;
    const identity* as;
    int exit_status;
    std::function<void(const temp_folder&, const run_result&)> check;
  } cases[] = {
      {"a set-user-ID file of nobody copied by root",
       [](const temp_folder& dir) {
         dir.write("site/tool.htm", "#!/bin/sh\n");
         return ::chown(dir.at("site/tool.htm").c_str(), 65534, 65534) == 0 &&
                ::chmod(dir.at("site/tool.htm").c_str(), 04755) == 0;
       },
       copy, nullptr, 1,
       [](const temp_folder& dir, const run_result&) {
         EXPECT_EQ(mode_of(dir.at("out/tool.html")), 0755u);
       }},
      {"a set-group-ID file copied by root",
       [](const temp_folder& dir) {
         dir.write("site/tool.htm", "#!/bin/sh\n");
         return ::chmod(dir.at("site/tool.htm").c_str(), 02755) == 0;
       },
       copy, nullptr, 1,
       [](const temp_folder& dir, const run_result&) {
         EXPECT_EQ(mode_of(dir.at("out/tool.html")), 0755u);
       }},
      {"a group member rewrites the group's file in place",
       [](const temp_folder& dir) {
         dir.write("site/a.txt", "one");
         return ::chown(dir.at("site").c_str(), 2000, 2345) == 0 &&
                ::chmod(dir.at("site").c_str(), 0775) == 0 &&
                ::chown(dir.at("site/a.txt").c_str(), 2000, 2345) == 0 &&
                ::chmod(dir.at("site/a.txt").c_str(), 0664) == 0;
       },
       in_place, &group_member, 1,
       [](const temp_folder& dir, const run_result&) {
         EXPECT_EQ(dir.read("site/a.txt"), "1");
         EXPECT_EQ(lstat_of(dir.at("site/a.txt")).st_gid, 2345u);
         EXPECT_EQ(mode_of(dir.at("site/a.txt")), 0664u);
       }},
      {"root rewrites another user's file in place",
       [](const temp_folder& dir) {
         dir.write("site/a.txt", "one");
         return ::chown(dir.at("site/a.txt").c_str(), 2000, 2345) == 0 &&
                ::chmod(dir.at("site/a.txt").c_str(), 0640) == 0;
       },
       in_place, nullptr, 1,
       [](const temp_folder& dir, const run_result&) {
         const struct stat info = lstat_of(dir.at("site/a.txt"));
         EXPECT_EQ(info.st_uid, 2000u);
         EXPECT_EQ(info.st_gid, 2345u);
         EXPECT_EQ(info.st_mode & 07777, 0640u);
       }},
      {"an extended attribute of a file rewritten in place",
       [](const temp_folder& dir) {
         dir.write("site/a.txt", "one");
         return ::setxattr(dir.at("site/a.txt").c_str(), "user.origin", "kept", 4, 0) ==
                0;
       },
       in_place, nullptr, 1,
       [](const temp_folder& dir, const run_result&) {
         EXPECT_EQ(dir.read("site/a.txt"), "1");
         EXPECT_EQ(xattr_of(dir.at("site/a.txt"), "user.origin"), "kept");
       }},
      {"an access ACL of a file rewritten in place",
       [](const temp_folder& dir) {
         dir.write("site/a.txt", "one");
         const std::string acl = acl_with_one_user();
         return ::setxattr(dir.at("site/a.txt").c_str(), "system.posix_acl_access",
                           acl.data(), acl.size(), 0) == 0;
       },
       in_place, nullptr, 1,
       [](const temp_folder& dir, const run_result&) {
         EXPECT_EQ(dir.read("site/a.txt"), "1");
         EXPECT_EQ(xattr_of(dir.at("site/a.txt"), "system.posix_acl_access"),
                   acl_with_one_user());
       }},
      {"a read-only target",
       [](const temp_folder& dir) {
         dir.write("site/a.txt", "one");
         dir.write("out/a.txt", "read-only");
         return ::chmod(dir.at("out/a.txt").c_str(), 0444) == 0;
       },
       into_out, nullptr, 0,
       [](const temp_folder& dir, const run_result& result) {
         EXPECT_EQ(result.out,
                   "site\\a.txt open out\\a.txt failed.\n\ntxt_content_replace error.\n");
         EXPECT_TRUE(contains(result.err, "out\\a.txt (out/a.txt): read-only file"))
             << result.err;
         EXPECT_EQ(dir.read("out/a.txt"), "read-only");
       }},
      {"a dangling link as the target",
       [](const temp_folder& dir) {
         dir.write("site/a.txt", "one");
         make_dirs(dir.at("out"));
         return ::symlink("nowhere.txt", dir.at("out/a.txt").c_str()) == 0;
       },
       into_out, nullptr, 0,
       [](const temp_folder& dir, const run_result& result) {
         EXPECT_TRUE(contains(result.err, "a symbolic link that leads to no file"))
             << result.err;
         EXPECT_TRUE(is_link(dir.at("out/a.txt")));
         EXPECT_FALSE(dir.exists("out/nowhere.txt"));
       }},
      {"a looping link as the target",
       [](const temp_folder& dir) {
         dir.write("site/a.txt", "one");
         make_dirs(dir.at("out"));
         return ::symlink("b.txt", dir.at("out/a.txt").c_str()) == 0 &&
                ::symlink("a.txt", dir.at("out/b.txt").c_str()) == 0;
       },
       into_out, nullptr, 0,
       [](const temp_folder& dir, const run_result& result) {
         EXPECT_TRUE(contains(result.err, "a symbolic link that leads to no file"))
             << result.err;
         EXPECT_TRUE(is_link(dir.at("out/a.txt")));
         EXPECT_TRUE(is_link(dir.at("out/b.txt")));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    temp_folder dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    make_dirs(dir.at("site"));
    make_dirs(dir.at("out"));
    if (!c.setup(dir)) {
      std::cout << "[ skipped  ] " << c.name << ": " << std::strerror(errno) << std::endl;
      continue;
    }
    own_run how;
    how.as = c.as;
    const own_result result = run_own(dir, c.script, how);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exit_status, c.exit_status) << result.out << result.err;
    c.check(dir, result);
    EXPECT_EQ(partial_files(dir, ""), std::vector<std::string>{});
  }
}

// ---------------------------------------------------------------------------
// Interrupted runs and inputs that change while they are read.

constexpr off_t kBigSize = 200 << 20;

// A sparse file of zeros with "needle" every 16 MiB.
void make_big_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, kBigSize), 0);
  for (off_t at = 12345; at + 6 < kBigSize; at += 16 << 20)
    ASSERT_EQ(::pwrite(fd, "needle", 6, at), 6);
  ::close(fd);
}

off_t size_of(const std::string& path) { return lstat_of(path).st_size; }

// `size` bytes at `offset`, without reading the whole file.
std::string read_at(const std::string& path, off_t offset, std::size_t size) {
  std::string bytes(size, '\0');
  const int fd = ::open(path.c_str(), O_RDONLY);
  const ssize_t got = fd < 0 ? -1 : ::pread(fd, &bytes[0], size, offset);
  if (fd >= 0) ::close(fd);
  bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return bytes;
}

TEST(SafetyE2E, InterruptedRunsAndChangingInputs) {
  if (testing_windows_build()) GTEST_SKIP() << "POSIX signals";
  const std::string appended = "a line appended meanwhile\n";
  const struct {
    const char* name;
    std::function<void(const temp_folder&, started_run&)> act;  // on the running run
    std::function<void(const temp_folder&, const run_result&)> check;
  } cases[] = {
      {"SIGINT", [](const temp_folder&, started_run& run) { run.send(SIGINT); },
       [](const temp_folder&, const run_result& result) {
         EXPECT_EQ(result.signal, SIGINT);
       }},
      {"SIGTERM", [](const temp_folder&, started_run& run) { run.send(SIGTERM); },
       [](const temp_folder&, const run_result& result) {
         EXPECT_EQ(result.signal, SIGTERM);
       }},
      {"SIGHUP", [](const temp_folder&, started_run& run) { run.send(SIGHUP); },
       [](const temp_folder&, const run_result& result) {
         EXPECT_EQ(result.signal, SIGHUP);
       }},
      {"another process appends to the input",
       [&](const temp_folder& dir, started_run&) {
         const int fd = ::open(dir.at("site/big.log").c_str(), O_WRONLY | O_APPEND);
         ASSERT_GE(fd, 0);
         ASSERT_EQ(::write(fd, appended.data(), appended.size()),
                   static_cast<ssize_t>(appended.size()));
         ::close(fd);
       },
       [&](const temp_folder& dir, const run_result& result) {
         EXPECT_EQ(result.signal, 0);
         EXPECT_EQ(result.exit_status, 0);
         EXPECT_EQ(result.out,
                   "site\\big.log write site\\big.log failed.\n\ntxt_content_replace "
                   "error.\n");
         EXPECT_TRUE(contains(result.err,
                              "site\\big.log (site/big.log): changed while being read"))
             << result.err;
         // The target is the input, appended line included, untouched.
         EXPECT_EQ(size_of(dir.at("site/big.log")),
                   kBigSize + static_cast<off_t>(appended.size()));
         EXPECT_EQ(read_at(dir.at("site/big.log"), kBigSize, appended.size()), appended);
         EXPECT_EQ(read_at(dir.at("site/big.log"), 12345, 6), "needle");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool caught = false;
    for (int attempt = 0; attempt < 3 && !caught; ++attempt) {
      temp_folder dir;
      make_dirs(dir.at("site"));
      make_big_file(dir.at("site/big.log"));
      dir.write("script.txt",
                "[txt_content_replace]\nneedle\nNEEDLE!\nsite\nsite\nbig.log\n");
      run_options options;
      options.arguments = {"script.txt"};
      std::unique_ptr<started_run> run = dir.start(options);
      // Acts once the temporary file is there and growing.
      off_t first_seen = 0;
      while (run->running()) {
        std::string partial;
        for (const std::string& name : dir.list("site"))
          if (is_partial_file(name)) partial = name;
        const off_t size = partial.empty() ? 0 : size_of(dir.at("site/" + partial));
        if (size > 0 && first_seen == 0) first_seen = size;
        if (first_seen > 0 && size > first_seen) {
          // Private while it is written, whatever the target's bits.
          EXPECT_EQ(mode_of(dir.at("site/" + partial)), 0600u);
          c.act(dir, *run);
          caught = true;
          break;
        }
        ::usleep(200);
      }
      const run_result result = run->wait();
      if (!caught) continue;
      c.check(dir, result);
      EXPECT_EQ(dir.list("site"), std::vector<std::string>{"big.log"})
          << "something was left beside the target";
      if (result.signal != 0) {
        EXPECT_EQ(size_of(dir.at("site/big.log")), kBigSize);
        EXPECT_EQ(read_at(dir.at("site/big.log"), 12345, 6), "needle");
      }
    }
    if (!caught)
      std::cout << "[ skipped  ] " << c.name
                << ": the replace always ended before it could be caught" << std::endl;
  }
}

// ---------------------------------------------------------------------------
// Exit status: a failure that lets the run go on is still a failure.

TEST(SafetyE2E, ExitStatusTellsFailuresThatWentOn) {
  const std::string splice_menu_into_page =
      "[txt_content_replace_txt]\n<m>\n</m>\nmenu.htm\n<m>\n</m>\npage.htm\n";
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    std::string script;
    int exit_status;
    std::string expected_out;
    std::string expected_err;  // a part of it, "" for an empty one
    std::pair<std::string, std::string> expected_file;
    // Follows expected_err on POSIX; Windows words its reasons its own way.
    const char* posix_reason = "";
    // Whether the binary wrote expected_file, in text mode.
    bool written = false;
  } cases[] = {
      {"every copy into a missing folder fails",
       {{"src/a.htm", "A"}},
       "[copy_file]\nsrc\nmissing\n*.htm > .html\n",
       0,
       listed_line() + kPause,
       "copy \"src\\a.htm\" to \"missing\\a.html\" failed: ",
       {"src/a.htm", "A"}},
      {"a splice whose copy-back is refused",
       {{"menu.htm", "<m>\nnew\n</m>\n"}, {"page.htm", "<m>\nold\n</m>\n"}},
       splice_menu_into_page,
       0,
       kPause,
       "page.htm (splice record from line 2): the spliced copy could not replace it: ",
       {"page.htm", "<m>\nold\n</m>\n"},
       "read-only file"},
      {"two names that become one name",
       {{"src/x.HTM", "upper"}, {"src/x.htm", "lower"}, {"out/keep", ""}},
       "[copy_file]\nsrc\nout\n*.htm > .html\n",
       0,
       listed_line() + kPause,
       "copy \"src\\x.htm\" to \"out\\x.html\" failed: \"x.HTM\" is copied to the same "
       "name",
       {"out/x.html", "upper"}},
      {"a copy pattern without a literal part",
       {{"src/a.htm", "A"}},
       "[copy_file]\nsrc\nout\n** > x\n",
       0,
       "\ncopy_file error.\n",
       "pattern **: it has no literal part that the new name could replace",
       {"src/a.htm", "A"}},
      {"a one-line source block is refused",
       {{"menu.htm", "<m>one-line template</m>"}, {"page.htm", "<m>\nold\n</m>\n"}},
       splice_menu_into_page,
       0,
       "txt_content_replace_txt error.\n",
       "there is no block after it",
       {"page.htm", "<m>\nold\n</m>\n"}},
      {"a source with lone CR line ends is refused",
       {{"menu.htm", "<m>\rnew\r</m>\r"}, {"page.htm", "<m>\nold\n</m>\n"}},
       splice_menu_into_page,
       0,
       "txt_content_replace_txt error.\n",
       "there is no block after it",
       {"page.htm", "<m>\nold\n</m>\n"}},
      {"an explicit empty block still empties the target's block",
       {{"menu.htm", "<m>\n</m>\n"}, {"page.htm", "<m>\nold\n</m>\n"}},
       splice_menu_into_page,
       1,
       kPause,
       "",
       {"page.htm", "<m>\n</m>\n"},
       "",
       true},
      {"a failing command line stays unchecked",
       {},
       "[system_command]\nexit 3\n",
       1,
       kPause,
       "",
       {"script.txt", "[system_command]\nexit 3\n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (testing_windows_build() && contains(c.name, "two names")) {
      std::cout << "[ skipped  ] " << c.name << ": one name on Windows" << std::endl;
      continue;
    }
    temp_folder dir;
    for (const auto& file : c.files) dir.write(file.first, file.second);
    if (contains(c.name, "copy-back")) ::chmod(dir.at("page.htm").c_str(), 0444);
    const run_result result = dir.run_script(c.script);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exit_status, c.exit_status) << result.err;
    EXPECT_EQ(result.out, as_written(c.expected_out));
    if (c.expected_err.empty()) {
      EXPECT_EQ(result.err, "");
    } else {
      const std::string expected =
          c.expected_err + (testing_windows_build() ? "" : c.posix_reason);
      EXPECT_TRUE(contains(result.err, expected)) << result.err;
    }
    EXPECT_EQ(
        dir.read(c.expected_file.first),
        c.written ? rewritten_text(c.expected_file.second) : c.expected_file.second);
  }
}

// ---------------------------------------------------------------------------
// The environment: no HOME, and a script of one huge line.

std::string home_of(uid_t uid) {
  const passwd* entry = ::getpwuid(uid);
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

TEST(SafetyE2E, DrivesWithoutHomeComeFromTheUserDatabase) {
  if (testing_windows_build()) GTEST_SKIP() << "drive letters are mapped on POSIX only";
  const std::string script = "[txt_content_replace]\na\nb\nc:\\nowhere\nout\nx.txt\n";
  const std::vector<std::string> no_home = {"HOME", "XDG_DATA_HOME", "QUILLMEND_DRIVES"};
  {
    SCOPED_TRACE("a user with a home folder in the database");
    temp_folder dir;
    own_run how;
    how.unset = no_home;
    const own_result result = run_own(dir, script, how);
    EXPECT_EQ(result.out,
              "open c:\\nowhere\\x.txt failed.\n\ntxt_content_replace error.\n");
    const std::string home = home_of(::geteuid());
    ASSERT_FALSE(home.empty());
    EXPECT_TRUE(contains(result.err, "c:\\nowhere\\x.txt (" + home +
                                         "/.local/share/quillmend/drives/c/nowhere/"
                                         "x.txt): No such file or directory"))
        << result.err;
  }
  {
    SCOPED_TRACE("a user the database does not know");
    const uid_t unknown = 54321;
    if (skip_unless_root() || ::getpwuid(unknown) != nullptr) {
      std::cout << "[ skipped  ] unknown user: needs root and a free uid " << unknown
                << std::endl;
      return;
    }
    temp_folder dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const identity stranger{unknown, unknown, {}};
    own_run how;
    how.unset = no_home;
    how.as = &stranger;
    const own_result result = run_own(dir, script, how);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out,
              "open c:\\nowhere\\x.txt failed.\n\ntxt_content_replace error.\n");
    EXPECT_TRUE(contains(result.err, "c:\\nowhere\\x.txt: no folder for drive paths"))
        << result.err;
  }
}

TEST(SafetyE2E, AScriptOfOneHugeLineIsHeldAtMostTwice) {
  if (testing_windows_build()) GTEST_SKIP() << "memory is measured through wait4";
  const std::size_t line_size = 64u << 20;
  temp_folder dir;
  own_run how;
  // A sanitizer build keeps freed memory in quarantine, where it would count
  // as held; other builds ignore the variable.
  const char* asan_options = std::getenv("ASAN_OPTIONS");
  how.set = {std::string("ASAN_OPTIONS=") +
             (asan_options != nullptr ? std::string(asan_options) + ":" : "") +
             "quarantine_size_mb=0"};
  const own_result result = run_own(dir, std::string(line_size, 'x') + "\n", how);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(
      result.out.size(),
      line_size + std::string("open \\ failed.\n\ntxt_content_replace error.\n").size());
  const long line_kib = static_cast<long>(line_size / 1024);
  std::cout << "[ memory   ] " << result.max_rss_kib << " KiB for a line of " << line_kib
            << " KiB" << std::endl;
  // Twice the line, and room for the program itself.
  EXPECT_LT(result.max_rss_kib, 2 * line_kib + 48 * 1024);
}

}  // namespace
}  // namespace quillmend_e2e
