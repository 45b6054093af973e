#include "tests/e2e_harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace quillmend_e2e {
namespace {

std::string env_or(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? value : fallback;
}

void remove_tree(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    ::chmod(path.c_str(), 0700);
    if (DIR* dir = ::opendir(path.c_str())) {
      std::vector<std::string> names;
      while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      ::closedir(dir);
      for (const std::string& name : names) remove_tree(path + "/" + name);
    }
    ::rmdir(path.c_str());
  } else {
    ::unlink(path.c_str());
  }
}

std::string wine_prefix() { return env_or("WINEPREFIX", env_or("HOME", "") + "/.wine"); }

// In the child after fork: says why it cannot go on, on its standard error,
// which the test reads, and ends it.
[[noreturn]] void fail_in_child(const std::string& what) {
  const std::string message = what + ": " + std::strerror(errno) + "\n";
  if (::write(2, message.data(), message.size()) < 0) {
  }
  ::_exit(127);
}

// In the child after fork. The groups go first, while the process may still
// change them, and the user id last.
bool become_nobody() {
  if (::geteuid() == kNobodyId && ::getegid() == kNobodyId) return true;
  return ::setgroups(0, nullptr) == 0 && ::setgid(kNobodyId) == 0 &&
         ::setuid(kNobodyId) == 0;
}

}  // namespace

bool testing_windows_build() {
  const std::string binary = env_or("QUILLMEND_E2E_BINARY", QUILLMEND_BINARY);
  return binary.size() > 4 && binary.compare(binary.size() - 4, 4, ".exe") == 0;
}

std::string cannot_run_as_nobody() {
  if (testing_windows_build())
    return "the Windows build runs under Wine, whose prefix may be used by its owner "
           "only, and Windows rights are not POSIX user ids";
  const uid_t uid = ::geteuid();
  if (uid == 0 || (uid == kNobodyId && ::getegid() == kNobodyId)) return "";
  return "running as uid " + std::to_string(uid) + ": only root can become uid " +
         std::to_string(kNobodyId);
}

std::string line_end() { return testing_windows_build() ? "\r\n" : "\n"; }

std::string as_written(const std::string& text) {
  if (!testing_windows_build()) return text;
  std::string converted;
  for (char c : text) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  return converted;
}

std::string rewritten_text(const std::string& content) {
  if (!testing_windows_build()) return content;
  std::string as_read;
  for (std::size_t i = 0; i < content.size(); ++i)
    if (!(content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n'))
      as_read += content[i];
  return as_written(as_read);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void write_file(const std::string& path, const std::string& content) {
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) make_dirs(path.substr(0, slash));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

void make_dirs(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i)
    if (i == path.size() || path[i] == '/') ::mkdir(path.substr(0, i).c_str(), 0777);
}

temp_folder::temp_folder() {
  std::string pattern = env_or("TMPDIR", "/tmp") + "/quillmend-e2e-XXXXXX";
  if (::mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  if (testing_windows_build()) make_dirs(drive_c("c:\\temp\\old"));
}

temp_folder::~temp_folder() { remove_tree(path_); }

void temp_folder::write(const std::string& relative, const std::string& content) const {
  write_file(at(relative), content);
}

std::string temp_folder::read(const std::string& relative) const {
  return read_file(at(relative));
}

bool temp_folder::exists(const std::string& relative) const {
  struct stat info;
  return ::lstat(at(relative).c_str(), &info) == 0;
}

std::vector<std::string> temp_folder::list(const std::string& relative) const {
  return list_folder(at(relative));
}

std::vector<std::string> list_folder(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(path.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string temp_folder::drive_c(const std::string& windows_path) const {
  std::string rest = windows_path.substr(2);  // drop "c:"
  std::replace(rest.begin(), rest.end(), '\\', '/');
  if (testing_windows_build()) return wine_prefix() + "/drive_c" + rest;
  return path_ + "/drives/c" + rest;
}

run_result temp_folder::run_script(const std::string& script, run_options options) const {
  write("script.txt", script);
  if (options.arguments.empty()) options.arguments.push_back("script.txt");
  return run(options);
}

run_result temp_folder::run(const run_options& options) const {
  return start(options)->wait();
}

std::unique_ptr<started_run> temp_folder::start(const run_options& options) const {
  const std::string binary = env_or("QUILLMEND_E2E_BINARY", QUILLMEND_BINARY);
  const std::string runner = env_or("QUILLMEND_E2E_RUNNER", "");
  if (options.run_as_nobody) {
    const std::string why_not = cannot_run_as_nobody();
    if (!why_not.empty()) throw std::runtime_error("cannot run as nobody: " + why_not);
  }
  std::vector<std::string> argv;
  if (!runner.empty()) argv.push_back(runner);
  argv.push_back(binary);
  argv.insert(argv.end(), options.arguments.begin(), options.arguments.end());

  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry)
    if (std::strncmp(*entry, "QUILLMEND_DRIVES=", 17) != 0) environment.push_back(*entry);
  environment.push_back("QUILLMEND_DRIVES=" + path_ + "/drives");
  environment.insert(environment.end(), options.extra_environment.begin(),
                     options.extra_environment.end());

  // Each run has its own standard streams, so that runs may overlap.
  static int runs_started = 0;
  const std::string suffix = std::to_string(++runs_started);
  const std::string out_path = path_ + "/.stdout" + suffix,
                    err_path = path_ + "/.stderr" + suffix,
                    in_path = path_ + "/.stdin" + suffix;
  write_file(in_path, options.standard_input);

  const pid_t child = ::fork();
  if (child == 0) {
    const int in = ::open(in_path.c_str(), O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    // Nothing of the test's own (a lock it holds, these files) reaches the
    // binary: an inherited lock would be held by the binary itself.
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    if (options.file_size_limit >= 0) {
      const rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                         static_cast<rlim_t>(options.file_size_limit)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
    }
    // The user changes before the folder does, so that the run reaches its
    // folder with that user's rights only. The standard streams were opened
    // before, as the test's own files.
    if (options.run_as_nobody && !become_nobody())
      fail_in_child("cannot become uid " + std::to_string(kNobodyId));
    if (::chdir(path_.c_str()) != 0) fail_in_child("cannot enter " + path_);
    std::vector<char*> args, envs;
    for (std::string& a : argv) args.push_back(&a[0]);
    args.push_back(nullptr);
    for (std::string& e : environment) envs.push_back(&e[0]);
    envs.push_back(nullptr);
    ::execvpe(args[0], args.data(), envs.data());
    fail_in_child(std::string("cannot run ") + args[0]);
  }
  if (child < 0) throw std::runtime_error("fork failed");
  return std::make_unique<started_run>(child, out_path, err_path, in_path);
}

started_run::started_run(int pid, std::string out_path, std::string err_path,
                         std::string in_path)
    : pid_(pid),
      out_path_(std::move(out_path)),
      err_path_(std::move(err_path)),
      in_path_(std::move(in_path)) {}

started_run::~started_run() {
  if (!reaped_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &wait_status_, 0);
  }
  ::unlink(out_path_.c_str());
  ::unlink(err_path_.c_str());
  ::unlink(in_path_.c_str());
}

bool started_run::running() {
  if (reaped_) return false;
  if (::waitpid(pid_, &wait_status_, WNOHANG) == pid_) reaped_ = true;
  return !reaped_;
}

void started_run::send(int signal) {
  if (!reaped_) ::kill(pid_, signal);
}

run_result started_run::wait() {
  if (!reaped_) {
    while (::waitpid(pid_, &wait_status_, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
  }
  run_result result;
  if (WIFEXITED(wait_status_)) result.exit_status = WEXITSTATUS(wait_status_);
  if (WIFSIGNALED(wait_status_)) result.signal = WTERMSIG(wait_status_);
  result.out = read_file(out_path_);
  result.err = read_file(err_path_);
  return result;
}

}  // namespace quillmend_e2e
