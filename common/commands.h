// The tool's own commands (the listing and the copy that a command
// interpreter would carry out), built on the platform interface without ever
// handing a file name to one, with their failures reported as the
// interpreter would report them: one located line each.
#ifndef QUILLMEND_COMMON_COMMANDS_H_
#define QUILLMEND_COMMON_COMMANDS_H_

#include <memory>
#include <string>
#include <vector>

#include "common/reporter.h"
#include "platform/platform.h"

namespace quillmend {

// Copies `from` over `to`. A failure is reported as one diagnostics line
// naming both paths and the reason and counts as a failure of the run, but
// the run goes on. Returns whether the copy was made.
bool copy_and_report(platform& os, reporter& report, const std::string& from,
                     const std::string& to);

// Writes the bare names matching `path_pattern` to the work file `name` of
// `folder` (`list_path` in messages), one per line, and returns it. A
// listing that finds nothing is reported on the diagnostics stream and
// leaves an empty list, so that readers of the list see no names; one that
// fails otherwise does the same and counts as a failure of the run. Names
// that cannot stand as one line of the list and one part of a path (holding
// a backslash, a slash or a line end) are reported and left out. Returns
// null, after a diagnostics line, when the list could not be written.
std::unique_ptr<work_file> write_listing(platform& os, reporter& report,
                                         const std::string& path_pattern,
                                         work_folder& folder, const std::string& name,
                                         const std::string& list_path);

// Writes `names` to the work file `name` of `folder` (`list_path` names it
// in messages), one per line. Null, after a diagnostics line, when the list
// could not be written.
std::unique_ptr<work_file> write_name_list(reporter& report,
                                           const std::vector<std::string>& names,
                                           work_folder& folder, const std::string& name,
                                           const std::string& list_path);

}  // namespace quillmend

#endif  // QUILLMEND_COMMON_COMMANDS_H_
