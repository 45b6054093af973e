// Windows half of the platform layer. Every name reaches the system through
// the UTF-16 ("wide") file functions: the script's bytes are converted in
// the ANSI code page for a script without a mark, so that it keeps the
// meaning it has always had, or as UTF-8 for a marked script. Absolute
// paths are handed over in the \\?\ form, which lifts the 260-character
// limit of the old functions; the program's manifest declares it
// long-path aware as well. Nothing here ever hands a file name to the
// command interpreter.
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
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "platform/native_platform.h"
#include "platform/text_mode.h"
#include "platform/wildcard.h"

namespace quillmend {
namespace {

// The script's bytes and the system's UTF-16, both ways, in one code page:
// CP_ACP for names from a script without a mark, CP_UTF8 for marked ones.
// Bytes that do not fit the code page become U+FFFD on the way in and "?"
// on the way out, as with the old functions; such a name then fails to
// open, with its reason.
struct text_codec {
  UINT code_page = CP_ACP;

  std::wstring widen(const std::string& bytes) const {
    if (bytes.empty() || bytes.size() > INT_MAX) return std::wstring();
    const int size = static_cast<int>(bytes.size());
    const int length =
        ::MultiByteToWideChar(code_page, 0, bytes.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    if (length > 0)
      ::MultiByteToWideChar(code_page, 0, bytes.data(), size, &wide[0], length);
    return wide;
  }

  std::string narrow(const std::wstring& wide) const {
    if (wide.empty() || wide.size() > INT_MAX) return std::string();
    const int size = static_cast<int>(wide.size());
    const int length = ::WideCharToMultiByte(code_page, 0, wide.data(), size, nullptr, 0,
                                             nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(length, 0)), '\0');
    if (length > 0)
      ::WideCharToMultiByte(code_page, 0, wide.data(), size, &bytes[0], length, nullptr,
                            nullptr);
    return bytes;
  }
};

bool starts_with(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

// The path the system is handed for `path`: made absolute against the
// current folder (of its drive, for "c:name"), with "." and ".." resolved
// and slashes turned into backslashes, as the old functions did it, then in
// the \\?\ form that the system takes as it is, at any length. Device
// paths ("\\.\", "CON") are left alone.
std::wstring long_form(const std::wstring& path) {
  if (path.empty() || starts_with(path, L"\\\\?\\") || starts_with(path, L"\\\\.\\"))
    return path;
  std::wstring full(path.size() + MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()),
                                            &full[0], nullptr);
    if (length == 0) return path;
    if (length < full.size()) {
      full.resize(length);
      break;
    }
    full.resize(length);
  }
  if (starts_with(full, L"\\\\.\\")) return full;
  if (starts_with(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  if (full.size() >= 2 && full[1] == L':') return L"\\\\?\\" + full;
  return full;
}

// The one place where a Windows error code becomes a status, with the
// system's own wording as the reason, in the same bytes as the names.
status windows_error(DWORD error, const text_codec& codec) {
  wchar_t* text = nullptr;
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason;
  if (length > 0 && text != nullptr) reason = codec.narrow(std::wstring(text, length));
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

status last_error(const text_codec& codec) {
  return windows_error(::GetLastError(), codec);
}

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

class owned_find {
 public:
  explicit owned_find(HANDLE find) : find_(find) {}
  ~owned_find() {
    if (valid()) ::FindClose(find_);
  }
  owned_find(const owned_find&) = delete;
  owned_find& operator=(const owned_find&) = delete;

  HANDLE get() const { return find_; }
  bool valid() const { return find_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE find_;
};

// The largest request handed to ReadFile or WriteFile at once (a DWORD).
constexpr std::size_t kMaxTransfer = 1u << 30;

status write_all(HANDLE handle, const char* data, std::size_t size,
                 const text_codec& codec) {
  while (size > 0) {
    DWORD written = 0;
    const DWORD request = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (!::WriteFile(handle, data, request, &written, nullptr)) return last_error(codec);
    if (written == 0) return windows_error(ERROR_WRITE_FAULT, codec);
    data += written;
    size -= written;
  }
  return status::ok();
}

// A file read byte for byte; crlf_input adds text mode on top.
class win32_input_file : public input_file {
 public:
  win32_input_file(HANDLE handle, const text_codec& codec)
      : handle_(handle), codec_(codec) {}

  status read(char* buffer, std::size_t size, std::size_t& count) override {
    count = 0;
    DWORD got = 0;
    const DWORD request = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (!::ReadFile(handle_.get(), buffer, request, &got, nullptr)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) return status::ok();
      return windows_error(error, codec_);
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
  text_codec codec_;
};

// Bytes written as they come to a temporary file beside the target;
// crlf_output adds text mode on top.
class win32_replacement_file : public replacement_file {
 public:
  win32_replacement_file(HANDLE handle, std::wstring temp_path, std::wstring final_path,
                         DWORD carried_attributes, const text_codec& codec)
      : handle_(handle),
        temp_path_(std::move(temp_path)),
        final_path_(std::move(final_path)),
        carried_attributes_(carried_attributes),
        codec_(codec),
        buffer_(new char[kBufferSize]) {}

  ~win32_replacement_file() override {
    handle_.close();
    if (!committed_) ::DeleteFileW(temp_path_.c_str());
  }

  status write(const char* data, std::size_t size) override {
    if (!first_error_.is_ok()) return first_error_;
    if (size >= kBufferSize) {
      remember(flush());
      if (first_error_.is_ok()) remember(write_all(handle_.get(), data, size, codec_));
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
    if (!handle_.close()) remember(last_error(codec_));
    if (!first_error_.is_ok()) return first_error_;
    // The temporary file was made plain; the replaced file's hidden or system
    // attributes stay with the name.
    if (carried_attributes_ != 0)
      ::SetFileAttributesW(temp_path_.c_str(), carried_attributes_);
    if (!::MoveFileExW(temp_path_.c_str(), final_path_.c_str(),
                       MOVEFILE_REPLACE_EXISTING))
      return last_error(codec_);
    committed_ = true;
    return status::ok();
  }

 private:
  static constexpr std::size_t kBufferSize = 64 * 1024;

  status flush() {
    if (buffered_ == 0 || !first_error_.is_ok()) return first_error_;
    const std::size_t size = buffered_;
    buffered_ = 0;
    return write_all(handle_.get(), buffer_.get(), size, codec_);
  }

  void remember(const status& s) {
    if (first_error_.is_ok() && !s.is_ok()) first_error_ = s;
  }

  owned_handle handle_;
  std::wstring temp_path_;
  std::wstring final_path_;
  DWORD carried_attributes_;
  text_codec codec_;
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
std::wstring resolve_links(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    return path;
  owned_handle file(::CreateFileW(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.valid()) return path;
  std::wstring resolved(path.size() + MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleW(
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

// The longest name and path the system takes (in UTF-16 units, without the
// terminating zero): 255 on every Windows file system, and the 32,767 of a
// \\?\ path.
constexpr std::size_t kMaxNameLength = 255;
constexpr std::size_t kMaxPathLength = 32766;

std::wstring base36(unsigned long value) {
  std::wstring digits;
  do {
    digits.insert(digits.begin(), L"0123456789abcdefghijklmnopqrstuvwxyz"[value % 36]);
    value /= 36;
  } while (value != 0);
  return digits;
}

bool same_name(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Names for the temporary file beside a target, from the most telling to
// the shortest. The first is named after the target, so that a crash
// leaves something recognisable; where the target's folder leaves too
// little room for it, a shorter one is taken, down to names no longer than
// the target's own, so that a target the tool could open can always be
// rewritten.
class temporary_names {
 public:
  temporary_names(const std::wstring& final_path, unsigned long& counter)
      : counter_(counter) {
    const std::size_t start = final_path.find_last_of(L"\\/") + 1;
    folder_ = final_path.substr(0, start);
    target_name_ = final_path.substr(start);
    stem_ = target_name_.substr(0, 100);
    // A name cut between the two halves of a surrogate pair is no name.
    if (!stem_.empty() && stem_.back() >= 0xD800 && stem_.back() <= 0xDBFF)
      stem_.pop_back();
  }

  // The next name to try, as a whole path; empty when none is left.
  std::wstring next() {
    while (kind_ <= kShortest) {
      if (++tries_ > tries_allowed()) {
        next_kind();
        continue;
      }
      const std::wstring name = candidate();
      if (kind_ < kShortest && !fits(name)) {
        next_kind();
        continue;
      }
      if (fits(name) && !same_name(name, target_name_)) return folder_ + name;
    }
    return std::wstring();
  }

  // Creating the file under the name just tried failed for another reason
  // than an existing file. The name may be too long for the system after
  // all (a mapped drive whose own limit is smaller: Wine's is 4,096 bytes
  // of the Unix path, and it reports that as a general failure), so a
  // shorter kind is tried. False when the shortest kind failed too.
  bool try_shorter() {
    if (kind_ >= kShortest) return false;
    next_kind();
    return true;
  }

 private:
  static constexpr int kShortest = 2;

  void next_kind() {
    ++kind_;
    tries_ = 0;
  }

  std::wstring candidate() {
    const std::wstring count = std::to_wstring(++counter_);
    const std::wstring pid = std::to_wstring(::GetCurrentProcessId());
    if (kind_ == 0) return stem_ + L".quillmend-partial-" + pid + L"-" + count;
    if (kind_ == 1) return L".qm-" + pid + L"-" + count;
    return base36(counter_ % shortest_names());
  }

  // Names that exist already are skipped, a hundred of each longer kind
  // at most; the shortest kind tries each of its names once.
  unsigned long tries_allowed() const {
    return kind_ < kShortest ? 100 : shortest_names();
  }

  std::size_t room() const {
    const std::size_t left =
        folder_.size() < kMaxPathLength ? kMaxPathLength - folder_.size() : 0;
    return std::min(left, kMaxNameLength);
  }
  bool fits(const std::wstring& name) const { return name.size() <= room(); }
  // How many names of at most the target's length the shortest kind has.
  unsigned long shortest_names() const {
    const std::size_t length =
        std::max<std::size_t>(1, std::min(room(), target_name_.size()));
    return length >= 3 ? 36ul * 36 * 36 : (length == 2 ? 36ul * 36 : 36ul);
  }

  unsigned long& counter_;
  std::wstring folder_, target_name_, stem_;
  int kind_ = 0;
  unsigned long tries_ = 0;
};

// Lets a child process use this process's standard streams.
HANDLE inheritable_std_handle(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
    ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  return handle;
}

// Starts a command line (its first word, quoted, is the program) on this
// console and waits for it. Returns whether it could be started.
bool spawn_and_wait(std::wstring command_line) {
  STARTUPINFOW startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inheritable_std_handle(STD_INPUT_HANDLE);
  startup.hStdOutput = inheritable_std_handle(STD_OUTPUT_HANDLE);
  startup.hStdError = inheritable_std_handle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof process);
  if (!::CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process))
    return false;
  owned_handle thread(process.hThread);
  owned_handle child(process.hProcess);
  ::WaitForSingleObject(child.get(), INFINITE);
  return true;
}

std::wstring environment_variable(const wchar_t* name) {
  std::wstring value(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetEnvironmentVariableW(name, &value[0], static_cast<DWORD>(value.size()));
    if (length == 0) return std::wstring();
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);
  }
}

std::wstring command_interpreter() {
  const std::wstring comspec = environment_variable(L"COMSPEC");
  return comspec.empty() ? L"cmd.exe" : comspec;
}

// Standard output or error when it is a console: the tool's bytes (names in
// the script's encoding, messages) are shown through WriteConsoleW, so that
// the console shows the characters they mean rather than reading the bytes
// in its own code page. A character cut between two writes is held back
// until its end arrives. Redirected streams never come here: they get the
// script's bytes unchanged.
class console_buffer : public std::streambuf {
 public:
  console_buffer(HANDLE console, const text_codec& codec)
      : console_(console), codec_(codec) {}
  ~console_buffer() override {
    write_wide(codec_.widen(held_));
    held_.clear();
  }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    xsputn(&byte, 1);
    return c;
  }

  std::streamsize xsputn(const char* data, std::streamsize size) override {
    held_.append(data, static_cast<std::size_t>(size));
    const std::size_t complete = complete_prefix();
    write_wide(codec_.widen(held_.substr(0, complete)));
    held_.erase(0, complete);
    return size;
  }

 private:
  // How many of the held bytes end on a whole character.
  std::size_t complete_prefix() const {
    if (codec_.code_page == CP_UTF8) {
      std::size_t start = held_.size();
      while (start > 0 && held_.size() - start < 4 &&
             (static_cast<unsigned char>(held_[start - 1]) & 0xC0) == 0x80)
        --start;
      if (start == 0) return held_.size();
      const unsigned char lead = static_cast<unsigned char>(held_[start - 1]);
      const std::size_t length = lead >= 0xF0   ? 4
                                 : lead >= 0xE0 ? 3
                                 : lead >= 0xC0 ? 2
                                                : 1;
      return held_.size() - (start - 1) < length ? start - 1 : held_.size();
    }
    // Lead bytes of a double-byte code page can also be second bytes, so
    // the characters are counted from the start.
    std::size_t at = 0;
    while (at < held_.size()) {
      const std::size_t length =
          ::IsDBCSLeadByteEx(codec_.code_page, static_cast<BYTE>(held_[at])) ? 2 : 1;
      if (at + length > held_.size()) break;
      at += length;
    }
    return at;
  }

  void write_wide(const std::wstring& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      DWORD written = 0;
      const DWORD request =
          static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 8192));
      if (!::WriteConsoleW(console_, text.data() + done, request, &written, nullptr) ||
          written == 0)
        return;
      done += written;
    }
  }

  HANDLE console_;
  const text_codec& codec_;
  std::string held_;
};

// Puts a console_buffer under `stream` while `handle` is a console, and
// takes it away again when destroyed.
class console_stream_guard {
 public:
  console_stream_guard(std::ostream& stream, DWORD which, const text_codec& codec)
      : stream_(stream) {
    const HANDLE handle = ::GetStdHandle(which);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !::GetConsoleMode(handle, &mode))
      return;
    stream_.flush();
    buffer_ = std::make_unique<console_buffer>(handle, codec);
    previous_ = stream_.rdbuf(buffer_.get());
  }
  ~console_stream_guard() {
    if (buffer_ != nullptr) stream_.rdbuf(previous_);
  }
  console_stream_guard(const console_stream_guard&) = delete;
  console_stream_guard& operator=(const console_stream_guard&) = delete;

 private:
  std::ostream& stream_;
  std::unique_ptr<console_buffer> buffer_;
  std::streambuf* previous_ = nullptr;
};

class win32_platform : public platform {
 public:
  win32_platform()
      : output_(std::cout, STD_OUTPUT_HANDLE, codec_),
        errors_(std::cerr, STD_ERROR_HANDLE, codec_) {}

  std::ostream& console() override { return std::cout; }
  std::ostream& diagnostics() override { return std::cerr; }
  bool console_is_terminal() override { return ::_isatty(::_fileno(stdout)) != 0; }
  platform_kind kind() const override { return platform_kind::windows; }

  void set_name_encoding(name_encoding encoding) override {
    flush_console();
    codec_.code_page = encoding == name_encoding::utf8 ? CP_UTF8 : CP_ACP;
  }

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
    if (!::CreateDirectoryW(system_path(path).c_str(), nullptr))
      return last_error(codec_);
    return status::ok();
  }

  status make_temp_dir(std::string& path) override {
    std::wstring base(MAX_PATH + 1, L'\0');
    for (;;) {
      const DWORD length = ::GetTempPathW(static_cast<DWORD>(base.size()), &base[0]);
      if (length == 0) return last_error(codec_);
      if (length < base.size()) {
        base.resize(length);
        break;
      }
      base.resize(length + 1);
    }
    const std::string stem = codec_.narrow(base) + "quillmend-" +
                             std::to_string(::GetCurrentProcessId()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string candidate = stem + std::to_string(++temp_counter_);
      if (::CreateDirectoryW(system_path(candidate).c_str(), nullptr)) {
        path = candidate;
        return status::ok();
      }
      if (::GetLastError() != ERROR_ALREADY_EXISTS) return last_error(codec_);
    }
    return windows_error(ERROR_ALREADY_EXISTS, codec_);
  }

  status remove_file(const std::string& path) override {
    if (!::DeleteFileW(system_path(path).c_str())) return last_error(codec_);
    return status::ok();
  }

  status remove_dir(const std::string& path) override {
    if (!::RemoveDirectoryW(system_path(path).c_str())) return last_error(codec_);
    return status::ok();
  }

  bool console_wants_colour() override {
    return console_is_terminal() && std::getenv("NO_COLOR") == nullptr;
  }
  bool diagnostics_is_terminal() override { return ::_isatty(::_fileno(stderr)) != 0; }

  bool is_dir(const std::string& path) override {
    const DWORD attributes = ::GetFileAttributesW(system_path(path).c_str());
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
    WIN32_FIND_DATAW entry;
    owned_find find(::FindFirstFileW(system_path(search).c_str(), &entry));
    if (!find.valid()) {
      // An empty root folder has not even "." and "..".
      if (::GetLastError() != ERROR_FILE_NOT_FOUND) return last_error(codec_);
    } else {
      do {
        const std::wstring wide_name = entry.cFileName;
        if (wide_name == L"." || wide_name == L"..") continue;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0) continue;
        const std::string name = codec_.narrow(wide_name);
        if (wildcard_match(request.name_pattern, name)) names.push_back(name);
      } while (::FindNextFileW(find.get(), &entry));
      const DWORD error = ::GetLastError();
      if (error != ERROR_NO_MORE_FILES) {
        names.clear();
        return windows_error(error, codec_);
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
    WIN32_FIND_DATAW found;
    owned_find find(::FindFirstFileW(system_path(search).c_str(), &found));
    if (!find.valid()) {
      // An empty root folder has not even "." and "..".
      return ::GetLastError() == ERROR_FILE_NOT_FOUND ? status::ok() : last_error(codec_);
    }
    do {
      const std::wstring wide_name = found.cFileName;
      if (wide_name == L"." || wide_name == L"..") continue;
      folder_entry entry;
      entry.name = codec_.narrow(wide_name);
      const DWORD attributes = found.dwFileAttributes;
      entry.hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
      entry.is_link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      entry.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                       ? folder_entry::type::folder
                   : (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? folder_entry::type::other
                                                               : folder_entry::type::file;
      entries.push_back(std::move(entry));
    } while (::FindNextFileW(find.get(), &found));
    const DWORD error = ::GetLastError();
    if (error != ERROR_NO_MORE_FILES) return windows_error(error, codec_);
    return status::ok();
  }

  void run_command(const std::string& command_line) override {
    flush_console();
    spawn_and_wait(L"\"" + command_interpreter() + L"\" /c " +
                   codec_.widen(command_line));
  }

  void run_interactive_interpreter() override {
    flush_console();
    spawn_and_wait(L"\"" + command_interpreter() + L"\"");
    // The older interpreter's name, for systems that still have one; on
    // most it cannot be started, which is ignored.
    spawn_and_wait(L"command.exe");
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
        ::CreateFileW(system_path(path).c_str(), GENERIC_READ | GENERIC_WRITE,
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

  std::wstring system_path(const std::string& path) const {
    return long_form(codec_.widen(path));
  }

  opened<win32_input_file> open_raw_input(const std::string& path) {
    // Shared every way: the engine reads one file through two handles, and
    // other programs may go on using the file meanwhile.
    const HANDLE file = ::CreateFileW(
        system_path(path).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {nullptr, last_error(codec_)};
    auto input = std::make_unique<win32_input_file>(file, codec_);
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file, &info)) return {nullptr, last_error(codec_)};
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return {nullptr, windows_error(ERROR_ACCESS_DENIED, codec_)};
    return {std::move(input), status::ok()};
  }

  opened<win32_replacement_file> open_raw_replacement(const std::string& target) {
    const std::wstring final_path = resolve_links(system_path(target));
    const DWORD attributes = ::GetFileAttributesW(final_path.c_str());
    DWORD carried = 0;
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      // Refused before anything is written: neither a folder nor a read-only
      // file can be replaced.
      if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0)
        return {nullptr, windows_error(ERROR_ACCESS_DENIED, codec_)};
      carried = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    }
    temporary_names names(final_path, temp_counter_);
    DWORD error = ERROR_FILE_EXISTS;
    for (std::wstring temp_path = names.next(); !temp_path.empty();
         temp_path = names.next()) {
      const HANDLE file = ::CreateFileW(temp_path.c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE)
        return {std::make_unique<win32_replacement_file>(file, temp_path, final_path,
                                                         carried, codec_),
                status::ok()};
      error = ::GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      if (!names.try_shorter()) break;
    }
    return {nullptr, windows_error(error, codec_)};
  }

  text_codec codec_;
  console_stream_guard output_;
  console_stream_guard errors_;
  unsigned long temp_counter_ = 0;
};

}  // namespace

std::unique_ptr<platform> make_native_platform() {
  return std::make_unique<win32_platform>();
}

}  // namespace quillmend
