#include "driver/line_handlers.h"

#include "copy/copy_files.h"
#include "copy/copy_tokens.h"
#include "engine/replace_in_file.h"
#include "splice/splice_block.h"

namespace quillmend {

bool handle_replace_line(script_state& state, platform& os) {
  replace_job job;
  job.find_text = state.find_text;
  job.replace_text = state.replace_text;
  job.ignore_case = state.ignore_case;
  job.source_dir = state.source_dir;
  job.target_dir = state.target_dir;
  job.name_line = state.current_line;
  return replace_in_file(job, os);
}

bool handle_copy_line(script_state& state, platform& os) {
  copy_line line;
  switch (parse_copy_line(state.current_line, line)) {
    case copy_line_form::blank:
      return true;
    case copy_line_form::malformed:
      return false;
    case copy_line_form::copy:
      break;
  }
  state.find_text = line.pattern;
  normalize_pattern(state.find_text);
  state.replace_text = line.new_name_text;
  line.source_dir = state.source_dir;
  line.target_dir = state.target_dir;
  return copy_files(line, os);
}

bool handle_splice_record(script_state& state, platform& os) {
  splice_record record;
  record.source_start = state.current_line;
  line_reader& script = *state.script_stream;
  if (!script.read_line(record.source_end) || !script.read_line(record.source_path) ||
      !script.read_line(record.target_start) || !script.read_line(record.target_end) ||
      !script.read_line(record.target_path))
    return false;
  state.find_text = record.source_start;
  state.source_dir = record.source_path;
  state.replace_text = record.target_start;
  state.target_dir = record.target_path;
  if (!splice_block(record, os)) return false;
  copy_back(record, os);
  return true;
}

bool handle_command_line(script_state& state, platform& os) {
  os.run_command(state.current_line);
  return true;
}

}  // namespace quillmend
