#include "driver/section_header.h"

#include <vector>

namespace quillmend {
namespace {

struct header_kind {
  const char* keyword;
  section_mode mode;
  std::vector<std::string script_state::*> parameters;
};

const std::vector<header_kind>& header_kinds() {
  static const std::vector<header_kind> kinds = {
      {"[txt_content_replace]",
       section_mode::txt_content_replace,
       {&script_state::find_text, &script_state::replace_text, &script_state::source_dir,
        &script_state::target_dir}},
      {"[txt_content_replace_no_case]",
       section_mode::txt_content_replace_no_case,
       {&script_state::find_text, &script_state::replace_text, &script_state::source_dir,
        &script_state::target_dir}},
      {"[copy_file]",
       section_mode::copy_file,
       {&script_state::source_dir, &script_state::target_dir}},
      {"[txt_content_replace_txt]", section_mode::txt_content_replace_txt, {}},
      {"[system_command]", section_mode::system_command, {}},
  };
  return kinds;
}

}  // namespace

bool parse_section_header(script_state& state) {
  for (const header_kind& kind : header_kinds()) {
    if (state.current_line != kind.keyword) continue;
    state.operation_mode = kind.mode;
    for (std::string script_state::*field : kind.parameters)
      if (!state.script_stream->read_line(state.*field)) return false;
    if (kind.mode == section_mode::txt_content_replace) state.ignore_case = false;
    if (kind.mode == section_mode::txt_content_replace_no_case) state.ignore_case = true;
    return true;
  }
  return false;
}

}  // namespace quillmend
