// An in-memory platform for tests: files and folders in maps, commands
// recorded instead of run, and failures injected on demand.
//
// Paths are kept exactly as the code under test composes them; a file's
// folder is the part before its last separator (a backslash or a slash, as
// on the real platforms), and "" (the current folder) and bare drives ("c:")
// always exist. Every operation, copies included, goes through the same
// open, read, write and commit, so an injected fault reaches all of them.
#ifndef QUILLMEND_TESTS_FAKE_PLATFORM_H_
#define QUILLMEND_TESTS_FAKE_PLATFORM_H_

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quillmend {

// The folder part of a path: before its last backslash or slash.
std::string parent_of(const std::string& path);

class fake_platform : public platform {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> folders;
  // run_command lines as given, kPaused and kInteractive for the others.
  // Those two hold a line feed, which no script line can, so that a command
  // line can never pass for them.
  static constexpr const char* kPaused = "<pause>\n";
  static constexpr const char* kInteractive = "<interactive>\n";
  std::vector<std::string> commands;
  std::ostringstream out;
  std::ostringstream err;
  int locks_taken = 0;
  int locks_held = 0;
  std::vector<std::string> locked_paths;  // each lock_file() path, in order
  // Decides the product rules that differ between systems (the work folders).
  platform_kind system = platform_kind::posix;
  // Bytes a single read returns at most, to exercise block boundaries.
  std::size_t read_chunk = 1 << 20;
  // The nth read call (counted with the other reads) throws std::bad_alloc,
  // as reading a line too large for memory would; 0 for never.
  int bad_alloc_at_read = 0;

  // Makes the nth call (1 = the next one) of an operation fail from now on.
  // Operations: open_input, open_replacement, read, write, commit, make_dir,
  // list_matching, list_folder.
  void fail_call(const std::string& operation, int nth);
  // Makes only the nth call of an operation fail: a passing fault.
  void fail_once(const std::string& operation, int nth);
  // How often each operation was called.
  std::map<std::string, int> calls;

  // Adds a file, creating its folders.
  void add_file(const std::string& path, const std::string& content);
  void add_folder(const std::string& path);
  bool exists(const std::string& path) const;

  // Whether console and diagnostics pass for terminals.
  bool terminal = false;

  std::ostream& console() override { return out; }
  bool console_is_terminal() override { return terminal; }
  bool diagnostics_is_terminal() override { return terminal; }
  std::ostream& diagnostics() override { return err; }
  platform_kind kind() const override { return system; }
  opened<input_file> open_input(const std::string& path,
                                open_mode mode = open_mode::text) override;
  opened<replacement_file> open_replacement(const std::string& target,
                                            const std::string& mode_source,
                                            open_mode mode = open_mode::text) override;
  status make_dir(const std::string& path) override;
  bool is_dir(const std::string& path) override;
  status make_temp_dir(std::string& path) override;
  status remove_file(const std::string& path) override;
  status remove_dir(const std::string& path) override;
  status list_matching(const std::string& path_pattern,
                       std::vector<std::string>& names) override;
  status list_folder(const std::string& folder,
                     std::vector<folder_entry>& entries) override;
  void run_command(const std::string& command_line) override;
  void run_interactive_interpreter() override;
  void pause() override;
  std::unique_ptr<file_lock> lock_file(const std::string& path) override;

  // True when this call of `operation` is one set to fail; counts the call.
  bool should_fail(const std::string& operation);

 private:
  bool folder_exists(const std::string& folder) const;
  std::map<std::string, int> fail_at_;
  std::set<std::string> fail_once_;
};

// Streams `input` through stream_replace on `os` (as the file "in", into
// "out") and returns what "out" holds afterwards. `result` is the first
// error of the replace or the commit.
std::string replace_through(fake_platform& os, const std::string& input,
                            const std::string& find, const std::string& replace,
                            bool ignore_case, std::size_t block, status& result);

}  // namespace quillmend

#endif  // QUILLMEND_TESTS_FAKE_PLATFORM_H_
