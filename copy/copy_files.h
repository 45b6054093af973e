// The handler of copy_file lines: copies the files of source_dir that match a
// pattern to target_dir, renaming them by text replacement.
//
// A copy line is either `pattern > new-name` or `new-name < pattern`, the
// operator a token of its own. The pattern as written selects the files; its
// literal part (see normalize_pattern) is replaced by the new-name text in
// every listed name, ignoring ASCII case. The names pass through two work
// lists, c:\temp\old\myCopyTemp.txt and c:\temp\new\myCopyTemp.txt, the
// second written by the replacement engine with its usual console line.
//
// A line of blanks alone is skipped. A line without an operator or a third
// token, or with another operator, fails. A copy that cannot be made is
// reported on the diagnostics stream and the line goes on with the next
// name. Leaves ignore_case set.
#ifndef QUILLMEND_COPY_COPY_FILES_H_
#define QUILLMEND_COPY_COPY_FILES_H_

#include "driver/script_state.h"
#include "platform/platform.h"

namespace quillmend {

bool copy_files(script_state& state, platform& os);

}  // namespace quillmend

#endif  // QUILLMEND_COPY_COPY_FILES_H_
