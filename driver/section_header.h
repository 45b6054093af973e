// Section headers: a script line whose first character is '['.
//
// A header must equal one of the five keywords exactly (whole line, letter
// case included). It selects the mode and reads its parameter lines, taken
// as data whatever they hold, straight from the script:
//   [txt_content_replace]          find, replace, source dir, target dir
//   [txt_content_replace_no_case]  the same, ignoring ASCII letter case
//   [copy_file]                    source dir, target dir
//   [txt_content_replace_txt]      none
//   [system_command]               none
#ifndef QUILLMEND_DRIVER_SECTION_HEADER_H_
#define QUILLMEND_DRIVER_SECTION_HEADER_H_

#include "common/reporter.h"
#include "driver/script_state.h"

namespace quillmend {

// Handles the header in state.current_line. Fails on an unknown header or
// when the script ends before all parameter lines were read; the state may
// then be partly updated, and the run ends.
// The reason for a failure goes to `report`.
bool parse_section_header(script_state& state, reporter& report);

}  // namespace quillmend

#endif  // QUILLMEND_DRIVER_SECTION_HEADER_H_
