// Located diagnostics: every failure, refusal and skipped item writes one
// line on the diagnostics stream (standard error), so that the console's own
// lines stay exactly as they are:
//   quillmend: <script>:<line>: <what>: <reason>
// <line> is the script line being handled (the driver keeps it up to date);
// <what> names the file as written in the script, with the system's own
// path added where the two differ (POSIX maps drive letters and
// backslashes).
//
// Handlers also tell it what they did (a file replaced, a copy, a splice),
// for the run's summary and, in a preview, to say on the console what each
// line would do.
#ifndef QUILLMEND_COMMON_REPORTER_H_
#define QUILLMEND_COMMON_REPORTER_H_

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace quillmend {

class reporter {
 public:
  reporter(platform& os, std::string script_name);

  // The script line the next reports are about (1 for the first line).
  void at_line(std::uint64_t line) { line_ = line; }
  std::uint64_t line() const { return line_; }

  // A path as written, with its native form in parentheses where it differs.
  std::string describe(const std::string& path) const;

  // Writes "quillmend: <script>:<line>: <message>".
  void note(const std::string& message);
  // The same for "<describe(path)>: <reason>", written piece by piece: a
  // path as long as a whole script line is not copied again to say so.
  void note_about(const std::string& path, const std::string& reason);
  // A note about something that failed while the run goes on (a copy that
  // could not be made): the run then cannot end as a success.
  void failure_that_goes_on(const std::string& message);

  std::uint64_t failures_that_went_on() const { return failures_that_went_on_; }

  // A line failed and ends the run.
  void line_failed() { ++counts_.failures; }

  // What the handlers did. `changed` tells whether the target's content is
  // not what it held before.
  void file_replaced(const std::string& out_path, std::uint64_t replacements,
                     bool changed);
  void file_copied(const std::string& from, const std::string& to);
  // The lines first_line..first_line+removed-1 of `target` (1-based) gave
  // way to `inserted` lines from the source.
  void block_spliced(const std::string& target, std::uint64_t first_line,
                     std::uint64_t removed, std::uint64_t inserted);
  // A preview runs no command.
  void command_run() {
    if (!preview_) ++counts_.commands_run;
  }

  // In a preview each of the above writes what would be done on the console.
  void set_preview(bool preview) { preview_ = preview; }
  // Called after each file a handler is done with, once its console lines
  // are written; a diff waits for it.
  void set_after_each_file(std::function<void()> after) { after_each_file_ = after; }

  struct counts {
    std::uint64_t files_read = 0;
    std::uint64_t files_changed = 0;
    std::uint64_t files_unchanged = 0;
    std::uint64_t replacements = 0;
    std::uint64_t files_copied = 0;
    std::uint64_t commands_run = 0;
    std::uint64_t failures = 0;
  };
  const counts& totals() const { return counts_; }
  // "quillmend: 3 files read, 2 changed, ... 0.04 s" without a line end.
  std::string summary(double seconds) const;

 private:
  void preview_line(const std::string& text);
  void file_done();
  void start_note();

  platform& os_;
  std::string script_name_;
  std::uint64_t line_ = 0;
  std::uint64_t failures_that_went_on_ = 0;
  counts counts_;
  bool preview_ = false;
  std::function<void()> after_each_file_;
};

}  // namespace quillmend

#endif  // QUILLMEND_COMMON_REPORTER_H_
