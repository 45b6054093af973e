// Everything Quillmend asks of the operating system, behind one interface.
//
// Paths are passed exactly as the script composes them ("dir\\name", drive
// letters, backslashes). Each implementation maps them to native paths only
// at the moment they reach the OS, so messages always show the script's form.
//
// There is one real implementation per platform (posix_platform.cc,
// win32_platform.cc, chosen by the build) and an in-memory test double
// (tests/fake_platform.h). Handlers receive a platform& and never include
// an OS header themselves.
#ifndef QUILLMEND_PLATFORM_PLATFORM_H_
#define QUILLMEND_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/status.h"

namespace quillmend {

// How a file's bytes reach the tool. Text files (scripts, data, lists) follow
// the platform's line-end convention: on Windows CR LF is read as LF and LF
// written as CR LF; on POSIX text and binary are the same, byte for byte.
// Copies are always binary. No byte ever ends the input early.
enum class open_mode { text, binary };

// Which kind of system the tool runs on, for the few product rules that
// differ between them (who owns the work folders under c:\temp).
enum class platform_kind { posix, windows };

// How the bytes of the names and command lines the tool hands the system are
// to be read. `native` is what the system's byte-oriented functions take: on
// Windows the ANSI code page, on POSIX the bytes themselves. `utf8` is for
// scripts saved in Unicode; on Windows their names reach the system as
// UTF-16.
enum class name_encoding { native, utf8 };

// A file open for reading. Closed when destroyed.
class input_file {
 public:
  virtual ~input_file() = default;

  // Reads up to `size` bytes into `buffer`. Sets `count` to the number read;
  // 0 with an ok status means the end of input.
  virtual status read(char* buffer, std::size_t size, std::size_t& count) = 0;

  // The file's size in bytes when it was opened, or -1 when unknown; only
  // used to show progress.
  virtual std::int64_t size() const { return -1; }

  // Whether the file is still as it was opened: a file that another process
  // writes to while it is read (a growing log) must not be replaced by a
  // copy that lacks the new part. A failure says "changed while being read";
  // ok where a system cannot tell.
  virtual status unchanged() const { return status::ok(); }
};

// A file being written in place of a target path.
//
// The bytes go to a temporary file in the target's folder (the folder of the
// file a symbolic link points to, so the link stays a link). commit() flushes,
// closes and renames it over the target in one step. Until then the target is
// untouched; destroying an uncommitted replacement removes the temporary
// file. Every write, flush and close error is reported, at the latest by
// commit(), and a failed commit leaves the target as it was.
//
// Permission bits: an existing target keeps its own; a new target takes
// those of the `mode_source` given to open_replacement, if any.
class replacement_file {
 public:
  virtual ~replacement_file() = default;
  virtual status write(const char* data, std::size_t size) = 0;
  virtual status commit() = 0;
};

// An exclusive lock on a file, held until destroyed; another process asking
// for the same lock waits.
class file_lock {
 public:
  virtual ~file_lock() = default;
};

// One entry of a folder, as list_folder() finds it.
struct folder_entry {
  enum class type { file, folder, other };
  std::string name;
  type kind = type::other;  // of what a symbolic link points to
  bool is_link = false;
  bool hidden = false;  // a dot-file on POSIX, the hidden attribute on Windows
  // Tell two names of one file apart from two files; 0 where unknown.
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

template <typename T>
struct opened {
  std::unique_ptr<T> file;  // null exactly when `result` is not ok
  status result;
};

// A file in one of the tool's work folders: written (in text mode) and
// committed once, then read back as often as needed, always the bytes that
// were written, whatever happens to the folder's entries meanwhile.
class work_file : public replacement_file {
 public:
  // A new reader from the first byte. Only after a successful commit().
  virtual opened<input_file> read_back(open_mode mode) = 0;
};

// One of the tool's work folders, held open while it is used.
class work_folder {
 public:
  virtual ~work_folder() = default;

  // Creates the file `name` afresh (whatever was there before is gone).
  virtual opened<work_file> create_file(const std::string& name) = 0;

  // Takes an exclusive lock on the file `name`, creating it if needed, and
  // waits while another process holds it; `on_long_wait` is called once
  // when the wait lasts. Null when the file cannot be opened or locked.
  virtual std::unique_ptr<file_lock> lock(const std::string& name,
                                          const std::function<void()>& on_long_wait) = 0;
};

class platform {
 public:
  virtual ~platform() = default;

  // Standard output: the per-file lines and the run's messages.
  virtual std::ostream& console() = 0;
  // Where the tool's own commands (listing, copy) report their failures,
  // as a command interpreter would on its error stream.
  virtual std::ostream& diagnostics() = 0;
  // Whether standard output is a terminal a person watches; progress is
  // shown only there, so that redirected output stays exactly the same.
  virtual bool console_is_terminal() { return false; }
  // The same for the diagnostics stream: the run's summary is shown there
  // unasked only when a person watches it.
  virtual bool diagnostics_is_terminal() { return false; }
  // Whether the console may show colours: a terminal, and NO_COLOR unset.
  virtual bool console_wants_colour() { return false; }

  virtual platform_kind kind() const = 0;

  // Sets how the names and command lines given from now on are encoded
  // (native until told otherwise). Systems whose names are bytes ignore it.
  virtual void set_name_encoding(name_encoding) {}

  // The path the system is handed for a script path: the same on Windows,
  // mapped on POSIX. Only used to tell the user.
  virtual std::string native_path(const std::string& path) const { return path; }

  // The form in which this system tells two paths apart: the native path,
  // with ASCII letter case folded and slashes as backslashes on Windows.
  std::string path_key(const std::string& path) const;

  // Opens an existing file for reading. A missing file is never created: the
  // result is not_found. A folder cannot be opened as a file.
  // Only regular files are opened (a symbolic link to one is followed):
  // anything else (a FIFO, a device, a socket) is refused at once, never
  // waited on or read without end.
  virtual opened<input_file> open_input(const std::string& path,
                                        open_mode mode = open_mode::text) = 0;

  // Opens the script, which may also come from a pipe ("<(...)").
  virtual opened<input_file> open_script(const std::string& path) {
    return open_input(path);
  }

  // Starts writing a file that will replace `target` (see replacement_file).
  // `mode_source` may be empty. Refused, with the reason, when `target` is
  // there but is not a regular file, is read-only, or is a symbolic link
  // that leads nowhere (a dangling or looping one).
  virtual opened<replacement_file> open_replacement(const std::string& target,
                                                    const std::string& mode_source,
                                                    open_mode mode = open_mode::text) = 0;

  // Creates one folder; its parent must exist. Callers ignore the result
  // where the folder may exist already.
  virtual status make_dir(const std::string& path) = 0;

  // Creates every folder of `path` that ends just before a separator (a
  // backslash or a slash); the last component is never made a folder.
  // Failures (a folder that exists, a drive such as "c:") are ignored.
  // Folders made or found on the way are remembered, so that the thousands
  // of files of one folder cost one attempt, not one each.
  void make_parent_dirs(const std::string& path);

  // Forgets the folders remembered above; called after anything that may
  // have removed folders (a command line).
  void forget_known_folders() { known_folders_.clear(); }

  // Creates `path` and every missing folder above it. Fails when a part
  // cannot be made or `path` is not a folder in the end.
  status make_dirs(const std::string& path);

  // The bare names of the entries matching `path_pattern` ("dir\\*.htm"):
  // wildcards * and ?, letter case ignored, double quotes removed, hidden
  // entries left out, sorted by name. No match is a not_found status.
  virtual status list_matching(const std::string& path_pattern,
                               std::vector<std::string>& names) = 0;

  // Every entry of `folder` ("" is the current folder), "." and ".."
  // aside, in no particular order.
  virtual status list_folder(const std::string& folder,
                             std::vector<folder_entry>& entries) = 0;

  // Copies a file byte for byte over `to`, overwriting it, as one atomic
  // replacement; a new `to` gets the permission bits of `from`.
  status copy_file(const std::string& from, const std::string& to);

  // Runs a command line through the command interpreter and waits for it.
  // Its outcome is not reported: the script's commands are fire and forget.
  virtual void run_command(const std::string& command_line) = 0;

  // Leaves the user in an interactive command interpreter on this console;
  // returns when the user leaves it.
  virtual void run_interactive_interpreter() = 0;

  // Writes "Press any key to continue . . . " and waits for one key, or one
  // byte of standard input when it is not a terminal.
  virtual void pause() = 0;

  // Takes an exclusive lock on the file `path`, creating it if needed, and
  // waits while another process holds it. Null when the file cannot be
  // opened or locked.
  virtual std::unique_ptr<file_lock> lock_file(const std::string& path) = 0;

  // Whether the folder `path` exists.
  virtual bool is_dir(const std::string& path) = 0;

  // Opens a folder of the tool's own work files, first creating it and its
  // parents when `create` is set. Fails with the reason when it is missing
  // or unfit for them.
  //
  // This default works by path: a work file is written with
  // open_replacement, read back with open_input and locked with lock_file.
  // The POSIX platform instead keeps the folder private to the user and
  // refuses a folder that is a symbolic link or another user's, and works
  // through descriptors only, so that nothing anyone puts into the folder
  // (links, swapped files) is ever followed or read.
  virtual opened<work_folder> open_work_folder(const std::string& path, bool create);

  // Makes a new folder that only this user may use, for the tool's own
  // scratch files, and sets `path` to it (in a form the other calls take).
  virtual status make_temp_dir(std::string& path) = 0;
  // Removes one file, or one empty folder.
  virtual status remove_file(const std::string& path) = 0;
  virtual status remove_dir(const std::string& path) = 0;

 private:
  std::set<std::string> known_folders_;
};

// Writes a line feed and flushes: the end of every console line.
inline void end_line(std::ostream& out) { out << '\n' << std::flush; }

}  // namespace quillmend

#endif  // QUILLMEND_PLATFORM_PLATFORM_H_
