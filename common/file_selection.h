// Selecting files by a pattern in a file list or a splice record's target.
//
// A pattern is a relative path whose parts may hold '*' and '?', matched as
// the copy listing matches names (letter case ignored); a part that is
// exactly "**" matches any depth of folders, none included ("**\*.html",
// "docs\**\index.htm"; a "**" at the end stands for every file below).
// Parts are separated by backslashes or slashes. Hidden entries are left
// out, only regular files are selected, links to folders are not followed,
// and a file reached by two names (a link to it) is selected once.
#ifndef QUILLMEND_COMMON_FILE_SELECTION_H_
#define QUILLMEND_COMMON_FILE_SELECTION_H_

#include <string>
#include <vector>

#include "platform/platform.h"

namespace quillmend {

// Whether the folder `inner` lies inside the folder `outer` and is not
// `outer` itself, as the system tells paths apart.
bool lies_inside(platform& os, const std::string& inner, const std::string& outer);

// Whether a name line (or target line) is a pattern rather than a name: no
// Windows file name can hold '*' or '?'.
bool is_pattern(const std::string& text);

// Sets `paths` to the files under `folder` ("" is the current folder) that
// match `pattern`, relative to `folder` with backslashes, sorted. The
// subtree of the folder `left_out` (a path as the script writes it, or "")
// is never entered, so that a run's outputs never feed its own selection.
// Fails only when `folder` itself cannot be listed.
status select_files(platform& os, const std::string& folder, const std::string& pattern,
                    const std::string& left_out, std::vector<std::string>& paths);

// Splits a path whose later parts hold wildcards into the folder before the
// first such part and the pattern from it on: "d:\site\**\*.htm" gives
// "d:\site" and "**\*.htm".
void split_at_first_wildcard(const std::string& path, std::string& folder,
                             std::string& pattern);

}  // namespace quillmend

#endif  // QUILLMEND_COMMON_FILE_SELECTION_H_
