// The one working-state record of a run: the texts that section headers set,
// the line being handled, the current mode and the script being read.
//
// Handlers talk to each other only through this record and the files they
// write. Every field holds plain bytes of any length.
#ifndef QUILLMEND_DRIVER_SCRIPT_STATE_H_
#define QUILLMEND_DRIVER_SCRIPT_STATE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "common/line_reader.h"

namespace quillmend {

// Named after the section keywords that select them; the values are those a
// script's users know from the messages.
enum class section_mode : std::int32_t {
  txt_content_replace = 0,
  txt_content_replace_no_case = 1,
  copy_file = 2,
  txt_content_replace_txt = 3,
  system_command = 4,
};

struct script_state {
  // Replace and copy sections: the folders. A splice record: its target and
  // source file paths.
  std::string target_dir;
  std::string source_dir;
  // Replacement text; the new-name text of a copy line; a splice record's
  // target start marker.
  std::string replace_text;
  // Text to find; the pattern of a copy line; a splice record's source start
  // marker.
  std::string find_text;
  // The script line being handled; handlers may reuse it for a file name.
  std::string current_line;

  // Lines before the first header are handled as the first mode's lines.
  section_mode operation_mode = section_mode::txt_content_replace;
  bool ignore_case = false;
  std::unique_ptr<line_reader> script_stream;
};

}  // namespace quillmend

#endif  // QUILLMEND_DRIVER_SCRIPT_STATE_H_
