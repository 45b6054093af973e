// POSIX half of the platform layer. Every path is mapped from the script's
// form (backslashes, drive letters) by map_to_posix just before it reaches a
// system call; nothing here ever builds a shell command from a file name.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
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

bool same_time(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

#if defined(__APPLE__)
const struct timespec& modified_at(const struct stat& info) { return info.st_mtimespec; }
#else
const struct timespec& modified_at(const struct stat& info) { return info.st_mtim; }
#endif

class posix_input_file : public input_file {
 public:
  posix_input_file(unique_fd fd, const struct stat& opened_as)
      : fd_(std::move(fd)), opened_as_(opened_as) {}

  std::int64_t size() const override {
    return S_ISREG(opened_as_.st_mode) ? static_cast<std::int64_t>(opened_as_.st_size)
                                       : -1;
  }

  status unchanged() const override {
    if (!S_ISREG(opened_as_.st_mode)) return status::ok();
    struct stat now;
    if (::fstat(fd_.get(), &now) != 0) return posix_error(errno);
    if (now.st_size != opened_as_.st_size ||
        !same_time(modified_at(now), modified_at(opened_as_)))
      return status::failed("changed while being read");
    return status::ok();
  }

  status read(char* buffer, std::size_t size, std::size_t& count) override {
    count = 0;
    const ssize_t n = retry_on_eintr([&] { return ::read(fd_.get(), buffer, size); });
    if (n < 0) return posix_error(errno);
    count = static_cast<std::size_t>(n);
    return status::ok();
  }

 private:
  unique_fd fd_;
  struct stat opened_as_;
};

// The temporary file being written, for the handler of SIGINT, SIGTERM and
// SIGHUP, which removes it before the process ends: an interrupted run must
// not leave hundreds of megabytes of half a file beside its target, where a
// web server would publish them. A signal handler may only make
// async-signal-safe calls and read lock-free atomics, so the path is a C
// string built before the file is created, published through this one
// pointer; the tool writes one temporary file at a time. This is the only
// state outside the platform object, because a handler cannot reach one.
std::atomic<const char*> temp_being_written{nullptr};
static_assert(ATOMIC_POINTER_LOCK_FREE == 2,
              "the signal handler needs a lock-free pointer");

extern "C" void remove_temp_and_end(int signal_number) {
  const char* path = temp_being_written.load();
  if (path != nullptr) ::unlink(path);
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  ::sigemptyset(&default_action.sa_mask);
  ::sigaction(signal_number, &default_action, nullptr);
  // Still blocked while the handler runs: delivered, with its default
  // effect, as soon as it returns, so the parent sees the signal.
  ::raise(signal_number);
}

// Installs the handler, except where a signal is ignored (a run under
// nohup must go on ignoring SIGHUP).
void remove_temp_on_signals() {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) != 0) continue;
    if (current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = remove_temp_and_end;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
  }
}

// A temporary path published for the signal handler while it lives. Held
// through a unique_ptr so that its C string never moves.
class published_temp_path {
 public:
  explicit published_temp_path(std::string path) : path_(std::move(path)) {
    temp_being_written.store(path_.c_str());
  }
  ~published_temp_path() {
    const char* mine = path_.c_str();
    temp_being_written.compare_exchange_strong(mine, nullptr);
  }
  published_temp_path(const published_temp_path&) = delete;
  published_temp_path& operator=(const published_temp_path&) = delete;

  const std::string& path() const { return path_; }

 private:
  const std::string path_;
};

// What a replacement must give its temporary file before the rename.
struct final_metadata {
  mode_t mode = 0600;
  // The target being replaced, whose extended attributes (ACLs, security
  // labels, user attributes) carry over; empty for a new target.
  std::string attributes_from;
};

// Copies every extended attribute of `from` to the open file `fd`. A file
// system without them has nothing to copy.
status copy_extended_attributes(const std::string& from, int fd) {
#if defined(__linux__)
  std::string names;
  for (;;) {
    const ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
    if (size < 0) return errno == ENOTSUP ? status::ok() : posix_error(errno);
    names.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::listxattr(from.c_str(), &names[0], names.size());
    if (got >= 0) {
      names.resize(static_cast<std::size_t>(got));
      break;
    }
    if (errno != ERANGE) return posix_error(errno);
  }
  std::string value;
  for (std::size_t at = 0; at < names.size(); at += std::strlen(&names[at]) + 1) {
    const char* name = &names[at];
    ssize_t got = -1;
    do {
      const ssize_t size = ::getxattr(from.c_str(), name, nullptr, 0);
      if (size < 0) break;
      value.resize(static_cast<std::size_t>(size));
      got = ::getxattr(from.c_str(), name, &value[0], value.size());
    } while (got < 0 && errno == ERANGE);
    if (got < 0)
      return status::failed(std::string("cannot read the extended attribute ") + name +
                            ": " + std::strerror(errno));
    if (::fsetxattr(fd, name, value.data(), static_cast<std::size_t>(got), 0) != 0)
      return status::failed(std::string("cannot keep the extended attribute ") + name +
                            ": " + std::strerror(errno));
  }
#else
  (void)from;
  (void)fd;
#endif
  return status::ok();
}

class posix_replacement_file : public replacement_file {
 public:
  posix_replacement_file(unique_fd fd, std::unique_ptr<published_temp_path> temp_path,
                         std::string final_path, final_metadata metadata)
      : fd_(std::move(fd)),
        temp_path_(std::move(temp_path)),
        final_path_(std::move(final_path)),
        metadata_(std::move(metadata)) {}

  ~posix_replacement_file() override {
    fd_.reset();
    if (!committed_) ::unlink(temp_path_->path().c_str());
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
    // The file was created private; it gets its final bits and attributes
    // only now that it is whole, just before it takes the target's place.
    if (first_error_.is_ok() && ::fchmod(fd_.get(), metadata_.mode) != 0)
      remember(posix_error(errno));
    if (first_error_.is_ok() && !metadata_.attributes_from.empty())
      remember(copy_extended_attributes(metadata_.attributes_from, fd_.get()));
    if (!fd_.close()) remember(posix_error(errno));
    if (!first_error_.is_ok()) return first_error_;
    if (::rename(temp_path_->path().c_str(), final_path_.c_str()) != 0)
      return posix_error(errno);
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
  std::unique_ptr<published_temp_path> temp_path_;
  std::string final_path_;
  final_metadata metadata_;
  bool committed_ = false;
  status first_error_;
  std::size_t buffered_ = 0;
  // Each write() into the file system has a fixed cost: 256 KiB per call
  // measured clearly faster than 64 KiB, and a larger buffer no faster.
  char buffer_[256 * 1024];
};

// A work file, created private in a work folder and read back through its
// own descriptor: nobody can swap what the tool reads for something else.
class posix_work_file : public work_file {
 public:
  explicit posix_work_file(unique_fd fd) : fd_(std::move(fd)) {}

  status write(const char* data, std::size_t size) override {
    if (!error_.is_ok()) return error_;
    if (buffer_.empty() && size >= kFlushAt) {
      error_ = write_all(fd_.get(), data, size);  // large pieces are not copied
      return error_;
    }
    buffer_.append(data, size);
    if (buffer_.size() >= kFlushAt) flush();
    return error_;
  }

  status commit() override {
    flush();
    return error_;
  }

  opened<input_file> read_back(open_mode) override {
    struct stat info;
    if (::fstat(fd_.get(), &info) != 0) return {nullptr, posix_error(errno)};
    return {std::make_unique<reader>(fd_.get(), info), status::ok()};
  }

 private:
  static constexpr std::size_t kFlushAt = 64 * 1024;

  // Reads at its own offset (pread), so that any number of readers and the
  // writer share the one descriptor without disturbing each other.
  class reader : public input_file {
   public:
    reader(int fd, const struct stat& info) : fd_(fd), size_(info.st_size) {}
    status read(char* buffer, std::size_t size, std::size_t& count) override {
      count = 0;
      const ssize_t n =
          retry_on_eintr([&] { return ::pread(fd_, buffer, size, offset_); });
      if (n < 0) return posix_error(errno);
      count = static_cast<std::size_t>(n);
      offset_ += n;
      return status::ok();
    }
    std::int64_t size() const override { return static_cast<std::int64_t>(size_); }

   private:
    int fd_;
    off_t size_;
    off_t offset_ = 0;
  };

  void flush() {
    if (error_.is_ok() && !buffer_.empty())
      error_ = write_all(fd_.get(), buffer_.data(), buffer_.size());
    buffer_.clear();
  }

  unique_fd fd_;
  std::string buffer_;
  status error_;
};

// How often an entry that keeps coming back in place of a work file is
// removed before the tool gives up.
constexpr int kWorkFileAttempts = 10;

class posix_file_lock : public file_lock {
 public:
  // Closing the descriptor releases the lock.
  explicit posix_file_lock(unique_fd fd) : fd_(std::move(fd)) {}

 private:
  unique_fd fd_;
};

class posix_work_folder : public work_folder {
 public:
  explicit posix_work_folder(unique_fd fd) : fd_(std::move(fd)) {}

  // Whatever is there (a stale file, a link someone planted) is removed, and
  // the file is made anew: O_EXCL and O_NOFOLLOW never open an entry that
  // was not made here and now.
  opened<work_file> create_file(const std::string& name) override {
    for (int attempt = 0; attempt < kWorkFileAttempts; ++attempt) {
      ::unlinkat(fd_.get(), name.c_str(), 0);
      unique_fd file(retry_on_eintr([&] {
        return ::openat(fd_.get(), name.c_str(),
                        O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      }));
      if (file.valid())
        return {std::make_unique<posix_work_file>(std::move(file)), status::ok()};
      if (errno != EEXIST) return {nullptr, posix_error(errno)};
    }
    return {nullptr, status::failed("something keeps taking the place of " + name +
                                    " in the work folder; remove it")};
  }

  std::unique_ptr<file_lock> lock(const std::string& name,
                                  const std::function<void()>& on_long_wait) override;

 private:
  // The lock file, kept from run to run (removing one that a run holds
  // would let the next run lock another file); only an entry that is not a
  // regular file of this user's is removed and made anew.
  unique_fd open_lock_file(const std::string& name) {
    for (int attempt = 0; attempt < kWorkFileAttempts; ++attempt) {
      unique_fd file(retry_on_eintr([&] {
        return ::openat(fd_.get(), name.c_str(),
                        O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
      }));
      struct stat info;
      if (file.valid() && ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode) &&
          info.st_uid == ::geteuid())
        return file;
      file.reset();
      if (::unlinkat(fd_.get(), name.c_str(), 0) != 0 && errno != ENOENT) break;
    }
    return unique_fd();
  }

  unique_fd fd_;
};

std::unique_ptr<file_lock> posix_work_folder::lock(
    const std::string& name, const std::function<void()>& on_long_wait) {
  unique_fd file = open_lock_file(name);
  if (!file.valid()) return nullptr;
  // Asked without waiting first, and then again every few milliseconds, so
  // that a run kept waiting can say so once, after a second.
  const int poll_ms = 10;
  for (int waited_ms = 0;; waited_ms += poll_ms) {
    if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0)
      return std::make_unique<posix_file_lock>(std::move(file));
    if (errno != EWOULDBLOCK && errno != EINTR) return nullptr;
    if (waited_ms == 1000 && on_long_wait) on_long_wait();
    const struct timespec pause_time { 0, poll_ms * 1000000L };
    ::nanosleep(&pause_time, nullptr);
  }
}

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
// replacement of that file. A link that leads nowhere (dangling or in a
// loop) is an error: replacing it would turn it into a plain file.
status resolve_link(const std::string& path, std::string& resolved) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) {
    const int error_number = errno;
    return status::failed(
        std::string("a symbolic link that leads to no file, which is not replaced: ") +
        std::strerror(error_number));
  }
  resolved = real;
  std::free(real);
  return status::ok();
}

status not_a_regular_file() { return status::failed("not a regular file"); }

// $HOME, else the user database's home folder: cron and system services
// often run without HOME. Empty when neither says.
std::string home_folder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  std::vector<char> buffer(1024);
  for (;;) {
    struct passwd entry;
    struct passwd* found = nullptr;
    const int error_number =
        ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (error_number == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error_number != 0 || found == nullptr || found->pw_dir == nullptr) return "";
    return found->pw_dir;
  }
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
                                      std::getenv("XDG_DATA_HOME"),
                                      home_folder().c_str())),
        umask_(current_umask()),
        pid_(std::to_string(::getpid())) {
    remove_temp_on_signals();
  }

  std::ostream& console() override { return std::cout; }
  std::ostream& diagnostics() override { return std::cerr; }
  // Asked once per file; standard output cannot become another file during
  // a run, so the answer is taken once.
  bool console_is_terminal() override { return stdout_is_terminal_; }
  bool console_wants_colour() override {
    return console_is_terminal() && std::getenv("NO_COLOR") == nullptr;
  }
  bool diagnostics_is_terminal() override { return ::isatty(STDERR_FILENO) == 1; }
  platform_kind kind() const override { return platform_kind::posix; }
  std::string native_path(const std::string& path) const override {
    return has_no_drives(path) ? path : map(path);
  }

  // Text and binary are the same here: files pass byte for byte.
  opened<input_file> open_input(const std::string& path, open_mode) override {
    return open_reading(path, true);
  }

  opened<input_file> open_script(const std::string& path) override {
    return open_reading(path, false);
  }

  opened<replacement_file> open_replacement(const std::string& target,
                                            const std::string& mode_source,
                                            open_mode) override {
    if (has_no_drives(target)) return {nullptr, no_drives()};
    std::string final_path = map(target);
    struct stat info;
    // One lstat serves both to find a link and, for a plain file, its bits.
    bool exists = ::lstat(final_path.c_str(), &info) == 0;
    if (exists && S_ISLNK(info.st_mode)) {
      const std::string link = final_path;
      const status resolved = resolve_link(link, final_path);
      if (!resolved.is_ok()) return {nullptr, resolved};
      exists = ::stat(final_path.c_str(), &info) == 0;
    }
    final_metadata metadata;
    metadata.mode = 0666 & ~umask_;
    const struct stat* existing = nullptr;
    if (exists) {
      if (S_ISDIR(info.st_mode)) return {nullptr, posix_error(EISDIR)};
      if (!S_ISREG(info.st_mode)) return {nullptr, not_a_regular_file()};
      const status writable = may_write(final_path, info);
      if (!writable.is_ok()) return {nullptr, writable};
      metadata.mode = info.st_mode & 07777;
      metadata.attributes_from = final_path;
      existing = &info;
    } else if (!mode_source.empty() && ::stat(map(mode_source).c_str(), &info) == 0) {
      // A copy of a set-user-ID or set-group-ID file must not become one of
      // the user who copies it (root, say).
      metadata.mode = info.st_mode & 0777;
    }
    return create_temporary_beside(final_path, std::move(metadata), existing);
  }

  status make_dir(const std::string& path) override {
    if (has_no_drives(path)) return no_drives();
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

  // The work folders hold what the tool is about to write over the user's
  // files, so nobody else may get at them: made 0700, opened without
  // following a link, and refused when they are not this user's own. A
  // folder that others may write is not refused (a Windows drive under WSL
  // shows every folder as 0777, and chmod does nothing there): the work
  // files are safe because they are made and used through the descriptor.
  opened<work_folder> open_work_folder(const std::string& path, bool create) override {
    if (has_no_drives(path)) return {nullptr, no_drives()};
    const std::string native = map(path);
    if (create) {
      make_native_dirs(folder_of(native));
      ::mkdir(native.c_str(), 0700);
    }
    unique_fd fd(retry_on_eintr([&] {
      return ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }));
    struct stat info;
    if (!fd.valid()) {
      const int error_number = errno;
      if (::lstat(native.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
        return {nullptr, status::failed("a symbolic link where the tool keeps its own "
                                        "work folder; remove the link and run again")};
      return {nullptr, posix_error(error_number)};
    }
    if (::fstat(fd.get(), &info) != 0) return {nullptr, posix_error(errno)};
    if (info.st_uid != euid_)
      return {nullptr,
              status::failed("a work folder of user " + std::to_string(info.st_uid) +
                             ", not of this user (" + std::to_string(euid_) +
                             "); remove it, or run as its owner")};
    // One made by an older version, or by hand: made private now. Where
    // chmod does nothing (a WSL drive) the folder is still used.
    if ((info.st_mode & 077) != 0) ::fchmod(fd.get(), 0700);
    return {std::make_unique<posix_work_folder>(std::move(fd)), status::ok()};
  }

  bool is_dir(const std::string& path) override {
    if (has_no_drives(path)) return false;
    struct stat info;
    return ::stat(map(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }

  status list_matching(const std::string& path_pattern,
                       std::vector<std::string>& names) override {
    names.clear();
    const listing_request request = split_listing_pattern(path_pattern);
    if (has_no_drives(request.folder)) return no_drives();
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
    if (has_no_drives(path)) return nullptr;
    const std::string native = map(path);
    unique_fd fd(retry_on_eintr(
        [&] { return ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666); }));
    if (!fd.valid()) return nullptr;
    if (retry_on_eintr([&] { return ::flock(fd.get(), LOCK_EX); }) != 0) return nullptr;
    return std::make_unique<posix_file_lock>(std::move(fd));
  }

 private:
  // Without QUILLMEND_DRIVES, XDG_DATA_HOME or a home folder there is no
  // folder of drives: a drive path then fails instead of landing in "/".
  bool has_no_drives(const std::string& path) const {
    return drives_root_.empty() && path.size() >= 2 && path[1] == ':' &&
           std::isalpha(static_cast<unsigned char>(path[0]));
  }

  static status no_drives() {
    return status::failed(
        "no folder for drive paths: neither QUILLMEND_DRIVES, XDG_DATA_HOME nor HOME is "
        "set, and the user database has no home folder for this user");
  }

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

  // `regular_only` refuses all but regular files, and opens without waiting
  // (O_NONBLOCK: a FIFO without a writer would block for ever) before it
  // looks at what was opened. Otherwise (a script, which may come from a
  // pipe or FIFO whose writer starts later) only folders are refused.
  opened<input_file> open_reading(const std::string& path, bool regular_only) {
    if (has_no_drives(path)) return {nullptr, no_drives()};
    const std::string native = map(path);
    const int open_flags = O_RDONLY | O_CLOEXEC | (regular_only ? O_NONBLOCK : 0);
    unique_fd fd(retry_on_eintr([&] { return ::open(native.c_str(), open_flags); }));
    if (!fd.valid()) return {nullptr, posix_error(errno)};
    struct stat info;
    if (::fstat(fd.get(), &info) != 0) return {nullptr, posix_error(errno)};
    if (S_ISDIR(info.st_mode)) return {nullptr, posix_error(EISDIR)};
    if (regular_only && !S_ISREG(info.st_mode)) return {nullptr, not_a_regular_file()};
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags == -1 || ((flags & O_NONBLOCK) != 0 &&
                        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) == -1))
      return {nullptr, posix_error(errno)};
    return {std::make_unique<posix_input_file>(std::move(fd), info), status::ok()};
  }

  // A file the user may not write is refused rather than replaced through
  // the folder. Root may write anything, so for root a file without any
  // write bit counts as read-only, as it does on Windows.
  status may_write(const std::string& native, const struct stat& info) const {
    if (euid_ == 0) {
      if ((info.st_mode & 0222) != 0) return status::ok();
      return status::failed("read-only file: no write permission bit is set");
    }
    if (::faccessat(AT_FDCWD, native.c_str(), W_OK, AT_EACCESS) == 0) return status::ok();
    return status::failed(std::string("read-only file: ") + std::strerror(errno));
  }

  // Root rewriting another user's file must not leave it to root, and a
  // group member rewriting a group's file must leave it to the group. Only
  // root may give a file away; anyone may give it to one of their groups.
  void keep_owner(int fd, const struct stat& existing) const {
    if (existing.st_uid == euid_ && existing.st_gid == egid_) return;
    if (::fchown(fd, existing.st_uid, existing.st_gid) == 0) return;
    if (existing.st_gid != egid_) ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
  }

  // `existing` is the target being replaced, if there is one: its owner is
  // carried over where the process may do so.
  opened<replacement_file> create_temporary_beside(const std::string& final_path,
                                                   final_metadata metadata,
                                                   const struct stat* existing) {
    // Named after the target so that a crash (kill -9) leaves something
    // recognisable; the name is cut short so that it stays within NAME_MAX.
    const std::string stem = folder_of(final_path) + "/" +
                             base_name_of(final_path).substr(0, 100) +
                             ".quillmend-partial-" + pid_ + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
      // Published before the file exists, so that no moment is left in which
      // a signal could leave it behind.
      auto temp_path =
          std::make_unique<published_temp_path>(stem + std::to_string(++temp_counter_));
      // Private until it is whole: nobody reads a half-written copy of a
      // private file, whatever the umask.
      unique_fd fd(retry_on_eintr([&] {
        return ::open(temp_path->path().c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      }));
      if (!fd.valid() && errno == EEXIST) continue;
      if (!fd.valid()) return {nullptr, posix_error(errno)};
      if (existing != nullptr) keep_owner(fd.get(), *existing);
      return {std::make_unique<posix_replacement_file>(
                  std::move(fd), std::move(temp_path), final_path, std::move(metadata)),
              status::ok()};
    }
    return {nullptr, posix_error(EEXIST)};
  }

  std::string drives_root_;
  mode_t umask_;
  const bool stdout_is_terminal_ = ::isatty(STDOUT_FILENO) == 1;
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
