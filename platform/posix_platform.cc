// POSIX half of the platform layer. Every path is mapped from the script's
// form (backslashes, drive letters) by map_to_posix just before it reaches a
// system call; nothing here ever builds a shell command from a file name.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "platform/native_platform.h"
#include "platform/path_map.h"
#include "platform/wildcard.h"

extern char** environ;

namespace quillmend {
namespace {

status posix_error(int error_number) {
  std::string reason = std::strerror(error_number);
  if (error_number == ENOENT) return status::not_found(reason);
  return status::failed(reason);
}

// Retries a system call interrupted by a signal.
template <typename F>
auto retry_on_eintr(F call) -> decltype(call()) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

// Owns one descriptor: closed when destroyed, moved but never copied.
class unique_fd {
 public:
  unique_fd() = default;
  explicit unique_fd(int fd) : fd_(fd) {}
  ~unique_fd() { reset(); }
  unique_fd(unique_fd&& other) noexcept : fd_(other.release()) {}
  unique_fd& operator=(unique_fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.release();
    }
    return *this;
  }
  unique_fd(const unique_fd&) = delete;
  unique_fd& operator=(const unique_fd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now; false (errno set) when close() reported an error.
  bool close() {
    const int fd = release();
    return fd < 0 || ::close(fd) == 0;
  }
  void reset() { close(); }

 private:
  int fd_ = -1;
};

status write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = retry_on_eintr([&] { return ::write(fd, data, size); });
    if (n < 0) return posix_error(errno);
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return status::ok();
}

class posix_input_file : public input_file {
 public:
  posix_input_file(unique_fd fd, std::int64_t size) : fd_(std::move(fd)), size_(size) {}

  std::int64_t size() const override { return size_; }

  status read(char* buffer, std::size_t size, std::size_t& count) override {
    count = 0;
    const ssize_t n = retry_on_eintr([&] { return ::read(fd_.get(), buffer, size); });
    if (n < 0) return posix_error(errno);
    count = static_cast<std::size_t>(n);
    return status::ok();
  }

 private:
  unique_fd fd_;
  std::int64_t size_;
};

class posix_replacement_file : public replacement_file {
 public:
  posix_replacement_file(unique_fd fd, std::string temp_path, std::string final_path)
      : fd_(std::move(fd)),
        temp_path_(std::move(temp_path)),
        final_path_(std::move(final_path)) {}

  ~posix_replacement_file() override {
    fd_.reset();
    if (!committed_) ::unlink(temp_path_.c_str());
  }

  // Every write() but the last covers whole buffers at offsets that are
  // multiples of the buffer: the page cache then takes the data in large
  // pieces, which measured a fifth faster than writes at odd offsets.
  status write(const char* data, std::size_t size) override {
    while (size > 0 && first_error_.is_ok()) {
      if (buffered_ == 0 && size >= sizeof(buffer_)) {
        const std::size_t whole = size - size % sizeof(buffer_);
        remember(write_all(fd_.get(), data, whole));
        data += whole;
        size -= whole;
        continue;
      }
      const std::size_t part = std::min(size, sizeof(buffer_) - buffered_);
      std::memcpy(buffer_ + buffered_, data, part);
      buffered_ += part;
      data += part;
      size -= part;
      if (buffered_ == sizeof(buffer_)) remember(flush());
    }
    return first_error_;
  }

  status commit() override {
    remember(flush());
    if (!fd_.close()) remember(posix_error(errno));
    if (!first_error_.is_ok()) return first_error_;
    if (::rename(temp_path_.c_str(), final_path_.c_str()) != 0) return posix_error(errno);
    committed_ = true;
    return status::ok();
  }

 private:
  status flush() {
    if (buffered_ == 0 || !first_error_.is_ok()) return first_error_;
    const std::size_t size = buffered_;
    buffered_ = 0;
    return write_all(fd_.get(), buffer_, size);
  }

  void remember(const status& s) {
    if (first_error_.is_ok() && !s.is_ok()) first_error_ = s;
  }

  unique_fd fd_;
  std::string temp_path_;
  std::string final_path_;
  bool committed_ = false;
  status first_error_;
  std::size_t buffered_ = 0;
  // Each write() into the file system has a fixed cost: 256 KiB per call
  // measured clearly faster than 64 KiB, and a larger buffer no faster.
  char buffer_[256 * 1024];
};

class posix_file_lock : public file_lock {
 public:
  // Closing the descriptor releases the lock.
  explicit posix_file_lock(unique_fd fd) : fd_(std::move(fd)) {}

 private:
  unique_fd fd_;
};

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string base_name_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a symbolic link points to, so that the link survives the
// replacement of that file; the link itself when it leads nowhere.
std::string resolve_link(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string result = resolved;
  std::free(resolved);
  return result;
}

mode_t current_umask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

void wait_for(pid_t child) {
  int wait_status = 0;
  retry_on_eintr([&] { return ::waitpid(child, &wait_status, 0); });
}

// Runs argv[0] with the process's own environment and standard streams.
void spawn_and_wait(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  pid_t child = 0;
  if (::posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) == 0)
    wait_for(child);
}

class posix_platform : public platform {
 public:
  posix_platform()
      : drives_root_(drives_root_from(std::getenv("QUILLMEND_DRIVES"),
                                      std::getenv("XDG_DATA_HOME"), std::getenv("HOME"))),
        umask_(current_umask()),
        pid_(std::to_string(::getpid())) {}

  std::ostream& console() override { return std::cout; }
  std::ostream& diagnostics() override { return std::cerr; }
  bool console_is_terminal() override { return ::isatty(STDOUT_FILENO) == 1; }
  bool console_wants_colour() override {
    return console_is_terminal() && std::getenv("NO_COLOR") == nullptr;
  }
  bool diagnostics_is_terminal() override { return ::isatty(STDERR_FILENO) == 1; }
  platform_kind kind() const override { return platform_kind::posix; }
  std::string native_path(const std::string& path) const override { return map(path); }

  // Text and binary are the same here: files pass byte for byte.
  opened<input_file> open_input(const std::string& path, open_mode) override {
    const std::string native = map(path);
    unique_fd fd(
        retry_on_eintr([&] { return ::open(native.c_str(), O_RDONLY | O_CLOEXEC); }));
    if (!fd.valid()) return {nullptr, posix_error(errno)};
    struct stat info;
    if (::fstat(fd.get(), &info) != 0) return {nullptr, posix_error(errno)};
    if (S_ISDIR(info.st_mode)) return {nullptr, posix_error(EISDIR)};
    const std::int64_t size =
        S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : -1;
    return {std::make_unique<posix_input_file>(std::move(fd), size), status::ok()};
  }

  opened<replacement_file> open_replacement(const std::string& target,
                                            const std::string& mode_source,
                                            open_mode) override {
    std::string final_path = map(target);
    struct stat info;
    // One lstat serves both to find a link and, for a plain file, its bits.
    bool exists = ::lstat(final_path.c_str(), &info) == 0;
    if (exists && S_ISLNK(info.st_mode)) {
      final_path = resolve_link(final_path);
      exists = ::stat(final_path.c_str(), &info) == 0;
    }
    mode_t mode = 0666 & ~umask_;
    const struct stat* existing = nullptr;
    if (exists) {
      if (S_ISDIR(info.st_mode)) return {nullptr, posix_error(EISDIR)};
      mode = info.st_mode & 07777;
      existing = &info;
    } else if (!mode_source.empty() && ::stat(map(mode_source).c_str(), &info) == 0) {
      mode = info.st_mode & 07777;
    }
    return create_temporary_beside(final_path, mode, existing);
  }

  status make_dir(const std::string& path) override {
    // A drive's folder is the tool's own, like the drives folder above it.
    if (is_bare_drive(path)) return make_native_dirs(map(path));
    if (::mkdir(map(path).c_str(), 0777) != 0) return posix_error(errno);
    return status::ok();
  }

  status make_temp_dir(std::string& path) override {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string name = (tmpdir != nullptr && *tmpdir != '\0') ? tmpdir : "/tmp";
    name += "/quillmend-XXXXXX";
    // mkdtemp makes the folder 0700 with a name nobody else can predict.
    if (::mkdtemp(&name[0]) == nullptr) return posix_error(errno);
    path = name;
    return status::ok();
  }

  status remove_file(const std::string& path) override {
    if (::unlink(map(path).c_str()) != 0) return posix_error(errno);
    return status::ok();
  }

  status remove_dir(const std::string& path) override {
    if (::rmdir(map(path).c_str()) != 0) return posix_error(errno);
    return status::ok();
  }

  bool is_dir(const std::string& path) override {
    struct stat info;
    return ::stat(map(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }

  status list_matching(const std::string& path_pattern,
                       std::vector<std::string>& names) override {
    names.clear();
    const listing_request request = split_listing_pattern(path_pattern);
    const std::string folder = request.folder.empty() ? "." : map(request.folder);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return posix_error(errno);
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name[0] != '.' && wildcard_match(request.name_pattern, name))
        names.push_back(name);
    }
    ::closedir(dir);
    if (names.empty()) return status::not_found("File Not Found");
    std::sort(names.begin(), names.end());
    return status::ok();
  }

  status list_folder(const std::string& folder,
                     std::vector<folder_entry>& entries) override {
    entries.clear();
    DIR* dir = ::opendir(folder.empty() ? "." : map(folder).c_str());
    if (dir == nullptr) return posix_error(errno);
    const int dir_fd = ::dirfd(dir);
    while (const dirent* found = ::readdir(dir)) {
      folder_entry entry;
      entry.name = found->d_name;
      if (entry.name == "." || entry.name == "..") continue;
      entry.hidden = entry.name[0] == '.';
      struct stat info;
      if (::fstatat(dir_fd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
      entry.is_link = S_ISLNK(info.st_mode);
      // What a link points to decides its type; a dangling one is "other".
      if (entry.is_link && ::fstatat(dir_fd, found->d_name, &info, 0) != 0)
        info.st_mode = 0;
      entry.kind = S_ISREG(info.st_mode)   ? folder_entry::type::file
                   : S_ISDIR(info.st_mode) ? folder_entry::type::folder
                                           : folder_entry::type::other;
      entry.device = static_cast<std::uint64_t>(info.st_dev);
      entry.inode = static_cast<std::uint64_t>(info.st_ino);
      entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return status::ok();
  }

  void run_command(const std::string& command_line) override {
    flush_console();
    spawn_and_wait({"/bin/sh", "-c", command_line});
  }

  void run_interactive_interpreter() override {
    flush_console();
    const char* shell = std::getenv("SHELL");
    spawn_and_wait({(shell != nullptr && *shell != '\0') ? shell : "/bin/sh"});
  }

  void pause() override {
    console() << "Press any key to continue . . . " << std::flush;
    char key = 0;
    termios saved;
    if (::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
      termios raw = saved;
      raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
      raw.c_cc[VMIN] = 1;
      raw.c_cc[VTIME] = 0;
      ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
      retry_on_eintr([&] { return ::read(STDIN_FILENO, &key, 1); });
      ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    } else {
      retry_on_eintr([&] { return ::read(STDIN_FILENO, &key, 1); });
    }
    end_line(console());
  }

  std::unique_ptr<file_lock> lock_file(const std::string& path) override {
    const std::string native = map(path);
    unique_fd fd(retry_on_eintr(
        [&] { return ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666); }));
    if (!fd.valid()) return nullptr;
    if (retry_on_eintr([&] { return ::flock(fd.get(), LOCK_EX); }) != 0) return nullptr;
    return std::make_unique<posix_file_lock>(std::move(fd));
  }

 private:
  std::string map(const std::string& path) const {
    return map_to_posix(path, drives_root_);
  }

  void flush_console() {
    std::cout.flush();
    std::cerr.flush();
  }

  // mkdir -p: every missing folder of `native`, parents first.
  static status make_native_dirs(const std::string& native) {
    for (std::size_t i = 1; i <= native.size(); ++i) {
      if (i < native.size() && native[i] != '/') continue;
      const std::string prefix = native.substr(0, i);
      if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
        return posix_error(errno);
    }
    struct stat info;
    if (::stat(native.c_str(), &info) != 0) return posix_error(errno);
    if (!S_ISDIR(info.st_mode)) return posix_error(ENOTDIR);
    return status::ok();
  }

  // `existing` is the target being replaced, if there is one: its owner is
  // carried over where the process may do so.
  opened<replacement_file> create_temporary_beside(const std::string& final_path,
                                                   mode_t mode,
                                                   const struct stat* existing) {
    // Named after the target so that a crash leaves something recognisable;
    // the name is cut short so that it stays within NAME_MAX.
    const std::string stem = folder_of(final_path) + "/" +
                             base_name_of(final_path).substr(0, 100) +
                             ".quillmend-partial-" + pid_ + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string temp_path = stem + std::to_string(++temp_counter_);
      unique_fd fd(retry_on_eintr([&] {
        return ::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      }));
      if (!fd.valid() && errno == EEXIST) continue;
      if (!fd.valid()) return {nullptr, posix_error(errno)};
      // Root rewriting another user's file must not leave it to root. Only
      // root may give a file away, so for anyone else this is best effort.
      bool owner_changed = false;
      if (existing != nullptr && (existing->st_uid != euid_ || existing->st_gid != egid_))
        owner_changed = ::fchown(fd.get(), existing->st_uid, existing->st_gid) == 0;
      // open() applied the umask, and a change of owner drops set-id bits;
      // the target's own bits must survive both.
      if ((owner_changed || (mode & umask_) != 0) && ::fchmod(fd.get(), mode) != 0) {
        const int error_number = errno;
        fd.reset();
        ::unlink(temp_path.c_str());
        return {nullptr, posix_error(error_number)};
      }
      return {
          std::make_unique<posix_replacement_file>(std::move(fd), temp_path, final_path),
          status::ok()};
    }
    return {nullptr, posix_error(EEXIST)};
  }

  std::string drives_root_;
  mode_t umask_;
  uid_t euid_ = ::geteuid();
  gid_t egid_ = ::getegid();
  // The process never forks without exec, so its id is read once.
  std::string pid_;
  unsigned long temp_counter_ = 0;
};

}  // namespace

std::unique_ptr<platform> make_native_platform() {
  return std::make_unique<posix_platform>();
}

}  // namespace quillmend
