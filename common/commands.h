// The tool's own commands (the listing and the copy that a command
// interpreter would carry out), built on the platform interface without ever
// handing a file name to one, with their failures reported as the
// interpreter would report them: one located line each.
#ifndef QUILLMEND_COMMON_COMMANDS_H_
#define QUILLMEND_COMMON_COMMANDS_H_

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

// Writes the bare names matching `path_pattern` to the file `list_path`, one
// per line. A listing that fails or finds nothing is reported on the
// diagnostics stream and leaves an empty list, so that readers of the list
// see no names. Names that cannot stand as one line of the list and one
// part of a path (holding a backslash, a slash or a line end) are reported
// and left out. Returns false, after a diagnostics line, when the list could
// not be written: an older list may then still be there and must not be used.
bool write_listing(platform& os, reporter& report, const std::string& path_pattern,
                   const std::string& list_path);

// Writes `names` to the file `list_path`, one per line. Returns false, after
// a diagnostics line, when the list could not be written.
bool write_name_list(platform& os, reporter& report,
                     const std::vector<std::string>& names, const std::string& list_path);

}  // namespace quillmend

#endif  // QUILLMEND_COMMON_COMMANDS_H_
