#include "driver/section_header.h"

#include "driver/section_kinds.h"

namespace quillmend {

bool parse_section_header(script_state& state) {
  const section_kind* kind = kind_of_header(state.current_line);
  if (kind == nullptr) return false;
  state.operation_mode = kind->mode;
  for (std::string script_state::*field : kind->parameters)
    if (!state.script_stream->read_line(state.*field)) return false;
  apply_case_effect(kind->header_case, state.ignore_case);
  return true;
}

}  // namespace quillmend
