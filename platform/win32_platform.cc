// Windows half of the platform layer. Paths reach the narrow (ANSI) file
// functions exactly as the script wrote them: drive letters, backslashes and
// the bytes of every name, with no mapping and no character set conversion.
// Nothing here ever hands a file name to the command interpreter.
//
// Text files (scripts, data, lists) are in text mode through crlf_input and
// crlf_output rather than the C runtime's text mode, so that a 0x1A byte
// never ends the input. Copies are byte for byte.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <conio.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "platform/native_platform.h"
#include "platform/text_mode.h"
#include "platform/wildcard.h"

namespace quillmend {
namespace {

// The one place where a Windows error code becomes a status, with the
// system's own wording as the reason.
status windows_error(DWORD error) {
  std::string reason;
  char* text = nullptr;
  const DWORD length =
      ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  if (length > 0 && text != nullptr) reason.assign(text, length);
  if (text != nullptr) ::LocalFree(text);
  // System messages end with a line end of their own.
  while (!reason.empty() &&
         (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' '))
    reason.pop_back();
  if (reason.empty()) reason = "system error " + std::to_string(error);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
    return status::not_found(reason);
  return status::failed(reason);
}

status last_error() { return windows_error(::GetLastError()); }

class owned_handle {
 public:
  explicit owned_handle(HANDLE handle) : handle_(handle) {}
  ~owned_handle() { close(); }
  owned_handle(const owned_handle&) = delete;
  owned_handle& operator=(const owned_handle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  // Closes now; false (with the last error set) when closing failed.
  bool close() {
    if (!valid()) return true;
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return ::CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

// The largest request handed to ReadFile or WriteFile at once (a DWORD).
constexpr std::size_t kMaxTransfer = 1u << 30;

status write_all(HANDLE handle, const char* data, std::size_t size) {
  while (size > 0) {
    DWORD written = 0;
    const DWORD request = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (!::WriteFile(handle, data, request, &written, nullptr)) return last_error();
    if (written == 0) return windows_error(ERROR_WRITE_FAULT);
    data += written;
    size -= written;
  }
  return status::ok();
}

// A file read byte for byte; crlf_input adds text mode on top.
class win32_input_file : public input_file {
 public:
  explicit win32_input_file(HANDLE handle) : handle_(handle) {}

  status read(char* buffer, std::size_t size, std::size_t& count) override {
    count = 0;
    DWORD got = 0;
    const DWORD request = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (!::ReadFile(handle_.get(), buffer, request, &got, nullptr)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) return status::ok();
      return windows_error(error);
    }
    count = got;
    return status::ok();
  }

  std::int64_t size() const override {
    LARGE_INTEGER size;
    return ::GetFileSizeEx(handle_.get(), &size) ? size.QuadPart : -1;
  }

 private:
  owned_handle handle_;
};

// Bytes written as they come to a temporary file beside the target;
// crlf_output adds text mode on top.
class win32_replacement_file : public replacement_file {
 public:
  win32_replacement_file(HANDLE handle, std::string temp_path, std::string final_path,
                         DWORD carried_attributes)
      : handle_(handle),
        temp_path_(std::move(temp_path)),
        final_path_(std::move(final_path)),
        carried_attributes_(carried_attributes),
        buffer_(new char[kBufferSize]) {}

  ~win32_replacement_file() override {
    handle_.close();
    if (!committed_) ::DeleteFileA(temp_path_.c_str());
  }

  status write(const char* data, std::size_t size) override {
    if (!first_error_.is_ok()) return first_error_;
    if (size >= kBufferSize) {
      remember(flush());
      if (first_error_.is_ok()) remember(write_all(handle_.get(), data, size));
      return first_error_;
    }
    if (buffered_ + size > kBufferSize) remember(flush());
    if (first_error_.is_ok()) {
      std::memcpy(buffer_.get() + buffered_, data, size);
      buffered_ += size;
    }
    return first_error_;
  }

  status commit() override {
    remember(flush());
    if (!handle_.close()) remember(last_error());
    if (!first_error_.is_ok()) return first_error_;
    // The temporary file was made plain; the replaced file's hidden or system
    // attributes stay with the name.
    if (carried_attributes_ != 0)
      ::SetFileAttributesA(temp_path_.c_str(), carried_attributes_);
    if (!::MoveFileExA(temp_path_.c_str(), final_path_.c_str(),
                       MOVEFILE_REPLACE_EXISTING))
      return last_error();
    committed_ = true;
    return status::ok();
  }

 private:
  static constexpr std::size_t kBufferSize = 64 * 1024;

  status flush() {
    if (buffered_ == 0 || !first_error_.is_ok()) return first_error_;
    const std::size_t size = buffered_;
    buffered_ = 0;
    return write_all(handle_.get(), buffer_.get(), size);
  }

  void remember(const status& s) {
    if (first_error_.is_ok() && !s.is_ok()) first_error_ = s;
  }

  owned_handle handle_;
  std::string temp_path_;
  std::string final_path_;
  DWORD carried_attributes_;
  bool committed_ = false;
  status first_error_;
  std::size_t buffered_ = 0;
  std::unique_ptr<char[]> buffer_;
};

class win32_file_lock : public file_lock {
 public:
  explicit win32_file_lock(HANDLE handle) : handle_(handle) {}

 private:
  // Closing the file releases its lock.
  owned_handle handle_;
};

// Where a name starts: after the last separator, or after a drive ("c:x").
std::size_t name_start(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? 0 : cut + 1;
}

// The file a target path really names: a symbolic link is followed, so that
// the link survives the replacement of the file it points to.
std::string resolve_links(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    return path;
  owned_handle file(::CreateFileA(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.valid()) return path;
  std::string resolved(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleA(
        file.get(), &resolved[0], static_cast<DWORD>(resolved.size()),
        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return path;
    if (length < resolved.size()) {
      resolved.resize(length);
      return resolved;
    }
    resolved.resize(length + 1);
  }
}

// Lets a child process use this process's standard streams.
HANDLE inheritable_std_handle(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
    ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  return handle;
}

// Starts a command line (its first word, quoted, is the program) on this
// console and waits for it. Returns whether it could be started.
bool spawn_and_wait(std::string command_line) {
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inheritable_std_handle(STD_INPUT_HANDLE);
  startup.hStdOutput = inheritable_std_handle(STD_OUTPUT_HANDLE);
  startup.hStdError = inheritable_std_handle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof process);
  if (!::CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process))
    return false;
  ::CloseHandle(process.hThread);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  ::CloseHandle(process.hProcess);
  return true;
}

std::string command_interpreter() {
  const char* comspec = std::getenv("COMSPEC");
  return (comspec != nullptr && *comspec != '\0') ? comspec : "cmd.exe";
}

class win32_platform : public platform {
 public:
  std::ostream& console() override { return std::cout; }
  std::ostream& diagnostics() override { return std::cerr; }
  bool console_is_terminal() override { return ::_isatty(::_fileno(stdout)) != 0; }
  platform_kind kind() const override { return platform_kind::windows; }

  opened<input_file> open_input(const std::string& path, open_mode mode) override {
    opened<win32_input_file> raw = open_raw_input(path);
    if (!raw.result.is_ok() || mode == open_mode::binary)
      return {std::move(raw.file), raw.result};
    return {std::make_unique<crlf_input>(std::move(raw.file)), status::ok()};
  }

  // Windows has no permission bits to carry over from `mode_source`: a new
  // target gets its folder's defaults, as any new file there would.
  opened<replacement_file> open_replacement(const std::string& target, const std::string&,
                                            open_mode mode) override {
    opened<win32_replacement_file> raw = open_raw_replacement(target);
    if (!raw.result.is_ok() || mode == open_mode::binary)
      return {std::move(raw.file), raw.result};
    return {std::make_unique<crlf_output>(std::move(raw.file)), status::ok()};
  }

  status make_dir(const std::string& path) override {
    if (!::CreateDirectoryA(path.c_str(), nullptr)) return last_error();
    return status::ok();
  }

  status make_temp_dir(std::string& path) override {
    std::string base(MAX_PATH + 1, '\0');
    const DWORD length = ::GetTempPathA(static_cast<DWORD>(base.size()), &base[0]);
    if (length == 0 || length > base.size()) return last_error();
    base.resize(length);
    const std::string stem =
        base + "quillmend-" + std::to_string(::GetCurrentProcessId()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string candidate = stem + std::to_string(++temp_counter_);
      if (::CreateDirectoryA(candidate.c_str(), nullptr)) {
        path = candidate;
        return status::ok();
      }
      if (::GetLastError() != ERROR_ALREADY_EXISTS) return last_error();
    }
    return windows_error(ERROR_ALREADY_EXISTS);
  }

  status remove_file(const std::string& path) override {
    if (!::DeleteFileA(path.c_str())) return last_error();
    return status::ok();
  }

  status remove_dir(const std::string& path) override {
    if (!::RemoveDirectoryA(path.c_str())) return last_error();
    return status::ok();
  }

  bool console_wants_colour() override {
    return console_is_terminal() && std::getenv("NO_COLOR") == nullptr;
  }
  bool diagnostics_is_terminal() override { return ::_isatty(::_fileno(stderr)) != 0; }

  bool is_dir(const std::string& path) override {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  status list_matching(const std::string& path_pattern,
                       std::vector<std::string>& names) override {
    names.clear();
    const listing_request request = split_listing_pattern(path_pattern);
    // Every entry is fetched and matched here: the system's own matching
    // would also match 8.3 short names ("*.htm" finding "page.html").
    std::string search = request.folder;
    if (!search.empty() && name_start(search) != search.size()) search += '\\';
    search += '*';
    WIN32_FIND_DATAA entry;
    const HANDLE find = ::FindFirstFileA(search.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
      // An empty root folder has not even "." and "..".
      if (::GetLastError() != ERROR_FILE_NOT_FOUND) return last_error();
    } else {
      do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0) continue;
        if (wildcard_match(request.name_pattern, name)) names.push_back(name);
      } while (::FindNextFileA(find, &entry));
      const DWORD error = ::GetLastError();
      ::FindClose(find);
      if (error != ERROR_NO_MORE_FILES) {
        names.clear();
        return windows_error(error);
      }
    }
    if (names.empty()) return status::not_found("File Not Found");
    std::sort(names.begin(), names.end());
    return status::ok();
  }

  status list_folder(const std::string& folder,
                     std::vector<folder_entry>& entries) override {
    entries.clear();
    std::string search = folder;
    if (!search.empty() && name_start(search) != search.size()) search += '\\';
    search += '*';
    WIN32_FIND_DATAA found;
    const HANDLE find = ::FindFirstFileA(search.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
      // An empty root folder has not even "." and "..".
      return ::GetLastError() == ERROR_FILE_NOT_FOUND ? status::ok() : last_error();
    }
    do {
      folder_entry entry;
      entry.name = found.cFileName;
      if (entry.name == "." || entry.name == "..") continue;
      const DWORD attributes = found.dwFileAttributes;
      entry.hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
      entry.is_link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      entry.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                       ? folder_entry::type::folder
                   : (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? folder_entry::type::other
                                                               : folder_entry::type::file;
      entries.push_back(std::move(entry));
    } while (::FindNextFileA(find, &found));
    const DWORD error = ::GetLastError();
    ::FindClose(find);
    if (error != ERROR_NO_MORE_FILES) return windows_error(error);
    return status::ok();
  }

  void run_command(const std::string& command_line) override {
    flush_console();
    spawn_and_wait("\"" + command_interpreter() + "\" /c " + command_line);
  }

  void run_interactive_interpreter() override {
    flush_console();
    spawn_and_wait("\"" + command_interpreter() + "\"");
    // The older interpreter's name, for systems that still have one; on
    // most it cannot be started, which is ignored.
    spawn_and_wait("command.exe");
  }

  void pause() override {
    console() << "Press any key to continue . . . " << std::flush;
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD console_mode = 0;
    if (input != nullptr && input != INVALID_HANDLE_VALUE &&
        ::GetConsoleMode(input, &console_mode)) {
      _getch();
    } else {
      char key = 0;
      DWORD got = 0;
      ::ReadFile(input, &key, 1, &got, nullptr);
    }
    end_line(console());
  }

  std::unique_ptr<file_lock> lock_file(const std::string& path) override {
    const HANDLE file =
        ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    auto lock = std::make_unique<win32_file_lock>(file);
    OVERLAPPED whole_file;
    std::memset(&whole_file, 0, sizeof whole_file);
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole_file))
      return nullptr;
    return lock;
  }

 private:
  static void flush_console() {
    std::cout.flush();
    std::cerr.flush();
  }

  static opened<win32_input_file> open_raw_input(const std::string& path) {
    // Shared every way: the engine reads one file through two handles, and
    // other programs may go on using the file meanwhile.
    const HANDLE file = ::CreateFileA(
        path.c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {nullptr, last_error()};
    auto input = std::make_unique<win32_input_file>(file);
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file, &info)) return {nullptr, last_error()};
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return {nullptr, windows_error(ERROR_ACCESS_DENIED)};
    return {std::move(input), status::ok()};
  }

  opened<win32_replacement_file> open_raw_replacement(const std::string& target) {
    const std::string final_path = resolve_links(target);
    const DWORD attributes = ::GetFileAttributesA(final_path.c_str());
    DWORD carried = 0;
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      // Refused before anything is written: neither a folder nor a read-only
      // file can be replaced.
      if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0)
        return {nullptr, windows_error(ERROR_ACCESS_DENIED)};
      carried = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    }
    // Named after the target so that a crash leaves something recognisable;
    // the name is cut short so that it stays within the length of a name.
    const std::size_t start = name_start(final_path);
    const std::string stem = final_path.substr(0, start) + final_path.substr(start, 100) +
                             ".quillmend-partial-" +
                             std::to_string(::GetCurrentProcessId()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string temp_path = stem + std::to_string(++temp_counter_);
      const HANDLE file = ::CreateFileA(temp_path.c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
        return {nullptr, windows_error(error)};
      }
      return {
          std::make_unique<win32_replacement_file>(file, temp_path, final_path, carried),
          status::ok()};
    }
    return {nullptr, windows_error(ERROR_FILE_EXISTS)};
  }

  unsigned long temp_counter_ = 0;
};

}  // namespace

std::unique_ptr<platform> make_native_platform() {
  return std::make_unique<win32_platform>();
}

}  // namespace quillmend
