// The handler of copy_file lines: copies the files of a source folder that
// match a pattern to a target folder, renaming them by text replacement.
//
// The pattern as written selects the files; its literal part (see
// normalize_pattern) is replaced by the new-name text in every listed name,
// ignoring ASCII case. The names pass through two work lists,
// c:\temp\old\myCopyTemp.txt and c:\temp\new\myCopyTemp.txt, the second
// written by the replacement engine with its usual console line.
//
// Fails when the list of names cannot be written, renamed or read back; then
// nothing is copied. A copy that cannot be made is reported on the
// diagnostics stream and the line goes on with the next name.
#ifndef QUILLMEND_COPY_COPY_FILES_H_
#define QUILLMEND_COPY_COPY_FILES_H_

#include <string>

#include "common/reporter.h"
#include "platform/platform.h"

namespace quillmend {

struct copy_line {
  std::string pattern;        // as written, quotes and stars included
  std::string new_name_text;  // as written
  std::string source_dir;
  std::string target_dir;
};

enum class copy_line_form { blank, copy, malformed };

// Splits a copy line, `pattern > new-name` or `new-name < pattern` (the
// operator a token of its own; tokens after the third are ignored). A line
// of blanks alone is blank; one without an operator or a third token, or
// with another operator, is malformed. Fills `line`'s pattern and new-name
// text only for a copy.
copy_line_form parse_copy_line(const std::string& text, copy_line& line);

// The caller holds the work lock.
bool copy_files(const copy_line& line, platform& os, reporter& report);

}  // namespace quillmend

#endif  // QUILLMEND_COPY_COPY_FILES_H_
