#include "driver/section_header.h"

#include "driver/section_kinds.h"

namespace quillmend {

bool parse_section_header(script_state& state, reporter& report) {
  const section_kind* kind = kind_of_header(state.current_line);
  if (kind == nullptr) {
    report.note("\"" + state.current_line +
                "\": not a section header (the five headers must stand alone on "
                "their line, exactly as written)");
    return false;
  }
  state.operation_mode = kind->mode;
  std::size_t read = 0;
  for (std::string script_state::*field : kind->parameters) {
    if (state.script_stream->read_line(state.*field)) {
      ++read;
      continue;
    }
    report.note(std::string("a ") + kind->keyword + " header needs " +
                std::to_string(kind->parameters.size()) +
                " parameter lines, the script ended after " + std::to_string(read));
    return false;
  }
  apply_case_effect(kind->header_case, state.ignore_case);
  return true;
}

}  // namespace quillmend
