// The kinds of script section, in one table: what a header line selects,
// which parameter lines follow it, how each body line is handled and what
// the run prints when a line fails. The header parser and the script loop
// read this table; nothing else knows the kinds.
#ifndef QUILLMEND_DRIVER_SECTION_KINDS_H_
#define QUILLMEND_DRIVER_SECTION_KINDS_H_

#include <string>
#include <vector>

#include "common/reporter.h"
#include "driver/script_state.h"
#include "platform/platform.h"

namespace quillmend {

enum class case_effect { unchanged, set_off, set_on };

struct section_kind {
  const char* keyword;  // the whole header line, brackets included
  section_mode mode;
  // Filled from the lines after the header, in this order.
  std::vector<std::string script_state::*> parameters;
  const char* failure_message;  // written when a body line fails
  case_effect header_case;      // on ignore_case, once the parameters are read
  case_effect line_case;        // on ignore_case, after each body line handled
  // Body lines use the shared work files under c:\temp, so they hold the work
  // lock while they run.
  bool holds_work_lock;
  // Handles state.current_line; may read further lines from the script.
  bool (*handle_line)(script_state& state, platform& os, reporter& report);
};

const std::vector<section_kind>& section_kinds();

// The kind whose keyword is exactly `header`, or null.
const section_kind* kind_of_header(const std::string& header);

// The kind of a mode; every mode has one.
const section_kind& kind_of_mode(section_mode mode);

void apply_case_effect(case_effect effect, bool& ignore_case);

}  // namespace quillmend

#endif  // QUILLMEND_DRIVER_SECTION_KINDS_H_
