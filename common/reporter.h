// Located diagnostics: every failure, refusal and skipped item writes one
// line on the diagnostics stream (standard error), so that the console's own
// lines stay exactly as they are:
//   quillmend: <script>:<line>: <what>: <reason>
// <line> is the script line being handled (the driver keeps it up to date);
// <what> names the file as written in the script, with the system's own
// path added where the two differ (POSIX maps drive letters and
// backslashes).
#ifndef QUILLMEND_COMMON_REPORTER_H_
#define QUILLMEND_COMMON_REPORTER_H_

#include <cstdint>
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

 private:
  void start_note();

  platform& os_;
  std::string script_name_;
  std::uint64_t line_ = 0;
  std::uint64_t failures_that_went_on_ = 0;
};

}  // namespace quillmend

#endif  // QUILLMEND_COMMON_REPORTER_H_
