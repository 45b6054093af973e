// Runs the real quillmend binary on real files in a temporary folder.
//
// Every run gets its own folder, is started there (so scripts use relative
// paths), has standard input at end of input, and sees QUILLMEND_DRIVES
// pointed into the folder, so that c:\temp\... never touches the machine's
// own. QUILLMEND_E2E_BINARY overrides the binary under test and
// QUILLMEND_E2E_RUNNER names a program to start it with ("wine" for the
// Windows build); the drive folder then follows that runner's conventions.
#ifndef QUILLMEND_TESTS_E2E_HARNESS_H_
#define QUILLMEND_TESTS_E2E_HARNESS_H_

#include <memory>
#include <string>
#include <vector>

namespace quillmend_e2e {

struct run_result {
  int exit_status = -1;  // -1 when the process did not exit normally
  int signal = 0;        // the signal that ended it, if any
  std::string out;
  std::string err;
};

struct run_options {
  std::vector<std::string> arguments;          // after the program name
  std::string standard_input;                  // fed, then closed
  long file_size_limit = -1;                   // RLIMIT_FSIZE in bytes; -1 for none
  std::vector<std::string> extra_environment;  // "NAME=value"
  // Runs the binary as uid and gid 65534 (nobody), with no supplementary
  // groups, from root or from that user itself; see cannot_run_as_nobody().
  // That user must be able to reach the folder and the files of the run.
  bool run_as_nobody = false;
};

// The user and group id of run_options::run_as_nobody.
constexpr unsigned kNobodyId = 65534;

// Why a run with run_as_nobody cannot be made here, or "" when it can.
std::string cannot_run_as_nobody();

// A run of the binary that goes on while the test watches it (waits for a
// file to appear, sends it a signal). The process is killed and reaped at
// the latest when this is destroyed.
class started_run {
 public:
  started_run(int pid, std::string out_path, std::string err_path, std::string in_path);
  ~started_run();
  started_run(const started_run&) = delete;
  started_run& operator=(const started_run&) = delete;

  int pid() const { return pid_; }
  // True until the process has ended; reaps it when it has.
  bool running();
  void send(int signal);
  // Waits for the end, then returns the exit status, signal and output.
  run_result wait();

 private:
  int pid_;
  bool reaped_ = false;
  int wait_status_ = 0;
  std::string out_path_, err_path_, in_path_;
};

class temp_folder {
 public:
  temp_folder();
  ~temp_folder();
  temp_folder(const temp_folder&) = delete;
  temp_folder& operator=(const temp_folder&) = delete;

  const std::string& path() const { return path_; }
  // `relative` uses '/' separators.
  std::string at(const std::string& relative) const { return path_ + "/" + relative; }

  void write(const std::string& relative, const std::string& content) const;
  std::string read(const std::string& relative) const;
  bool exists(const std::string& relative) const;
  // Names in a folder (relative), sorted, without "." and "..".
  std::vector<std::string> list(const std::string& relative) const;

  // The native path of a path on drive c: as the binary sees it
  // ("c:\\temp\\new\\temp.txt").
  std::string drive_c(const std::string& windows_path) const;

  // Writes `script` to script.txt and runs the binary on it.
  run_result run_script(const std::string& script, run_options options = {}) const;
  run_result run(const run_options& options) const;
  // Starts the binary and returns at once; several may run side by side.
  std::unique_ptr<started_run> start(const run_options& options) const;

 private:
  std::string path_;
};

// True when the binary under test is the Windows build.
bool testing_windows_build();

// What the binary writes for a line end in its own text files: "\r\n" on
// Windows, "\n" elsewhere.
std::string line_end();

// Text as the binary writes it in text mode, to its console and to the files
// it writes from its own text: the Windows build stores each LF as CR LF.
std::string as_written(const std::string& text);

// What a file the binary reads and writes back in text mode (a replace
// target, a spliced file) holds when `content` passes through unchanged
// otherwise. The Windows build reads each CR LF as LF and writes each LF as
// CR LF: a lone LF gains a CR, a lone CR (one at the very end included) and
// 0x1A stay as they are. Elsewhere the content is kept byte for byte.
std::string rewritten_text(const std::string& content);

// Names in a folder, sorted, without "." and "..".
std::vector<std::string> list_folder(const std::string& path);

// Reads a whole file; "" when it cannot be read.
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);
void make_dirs(const std::string& path);

}  // namespace quillmend_e2e

#endif  // QUILLMEND_TESTS_E2E_HARNESS_H_
