#include "driver/section_kinds.h"

#include "driver/line_handlers.h"

namespace quillmend {

const std::vector<section_kind>& section_kinds() {
  using s = script_state;
  static const std::vector<section_kind> kinds = {
      {"[txt_content_replace]",
       section_mode::txt_content_replace,
       {&s::find_text, &s::replace_text, &s::source_dir, &s::target_dir},
       "\ntxt_content_replace error.\n",
       case_effect::set_off,
       case_effect::unchanged,
       false,
       handle_replace_line},
      {"[txt_content_replace_no_case]",
       section_mode::txt_content_replace_no_case,
       {&s::find_text, &s::replace_text, &s::source_dir, &s::target_dir},
       "\ntxt_content_replace_no_case error. \n",
       case_effect::set_on,
       case_effect::unchanged,
       false,
       handle_replace_line},
      // Renaming ignores case, and the flag stays set after the line.
      {"[copy_file]",
       section_mode::copy_file,
       {&s::source_dir, &s::target_dir},
       "\ncopy_file error.\n",
       case_effect::unchanged,
       case_effect::set_on,
       true,
       handle_copy_line},
      {"[txt_content_replace_txt]",
       section_mode::txt_content_replace_txt,
       {},
       "txt_content_replace_txt error.\n",
       case_effect::unchanged,
       case_effect::unchanged,
       true,
       handle_splice_record},
      {"[system_command]",
       section_mode::system_command,
       {},
       "",
       case_effect::unchanged,
       case_effect::unchanged,
       false,
       handle_command_line},
  };
  return kinds;
}

const section_kind* kind_of_header(const std::string& header) {
  for (const section_kind& kind : section_kinds())
    if (header == kind.keyword) return &kind;
  return nullptr;
}

const section_kind& kind_of_mode(section_mode mode) {
  for (const section_kind& kind : section_kinds())
    if (kind.mode == mode) return kind;
  // Lines before the first header are handled as the first kind's lines.
  return section_kinds().front();
}

void apply_case_effect(case_effect effect, bool& ignore_case) {
  if (effect == case_effect::set_off) ignore_case = false;
  if (effect == case_effect::set_on) ignore_case = true;
}

}  // namespace quillmend
