// The driver's side of each section kind's handler: builds the handler's
// plain job from the working state, keeps the state's visible updates (the
// texts a line sets), and calls the handler. Failures are also reported,
// located, to `report`.
#ifndef QUILLMEND_DRIVER_LINE_HANDLERS_H_
#define QUILLMEND_DRIVER_LINE_HANDLERS_H_

#include "common/reporter.h"
#include "driver/script_state.h"
#include "platform/platform.h"

namespace quillmend {

// A file name line of a replace section (either case mode).
bool handle_replace_line(script_state& state, platform& os, reporter& report);

// A copy line. A line of blanks alone is skipped. Sets find_text to the
// pattern's literal part and replace_text to the new-name text.
bool handle_copy_line(script_state& state, platform& os, reporter& report);

// The first line of a splice record: reads the record's other five lines
// from the script into find_text, source_dir, replace_text and target_dir
// (the end markers aside), splices, and copies the result over the target.
// Fails when the script ends inside the record.
bool handle_splice_record(script_state& state, platform& os, reporter& report);

// A command line, run as written; never fails.
bool handle_command_line(script_state& state, platform& os, reporter& report);

}  // namespace quillmend

#endif  // QUILLMEND_DRIVER_LINE_HANDLERS_H_
