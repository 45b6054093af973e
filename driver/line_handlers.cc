#include "driver/line_handlers.h"

#include "copy/copy_files.h"
#include "copy/copy_tokens.h"
#include "engine/replace_in_file.h"
#include "splice/splice_block.h"

namespace quillmend {

bool handle_replace_line(script_state& state, platform& os, reporter& report) {
  replace_job job;
  job.find_text = state.find_text;
  job.replace_text = state.replace_text;
  job.ignore_case = state.ignore_case;
  job.source_dir = state.source_dir;
  job.target_dir = state.target_dir;
  // The line is read afresh for the next line: moved, not copied.
  job.name_line = std::move(state.current_line);
  return replace_in_file(std::move(job), os, report);
}

bool handle_copy_line(script_state& state, platform& os, reporter& report) {
  copy_line line;
  switch (parse_copy_line(state.current_line, line)) {
    case copy_line_form::blank:
      return true;
    case copy_line_form::malformed:
      report.note("\"" + state.current_line +
                  "\": not a copy line: it needs a pattern, \">\" or \"<\" and a new "
                  "name, separated by blanks");
      return false;
    case copy_line_form::copy:
      break;
  }
  state.find_text = line.pattern;
  normalize_pattern(state.find_text);
  state.replace_text = line.new_name_text;
  line.source_dir = state.source_dir;
  line.target_dir = state.target_dir;
  return copy_files(line, os, report);
}

bool handle_splice_record(script_state& state, platform& os, reporter& report) {
  splice_record record;
  record.source_start = state.current_line;
  record.first_line = report.line();
  line_reader& script = *state.script_stream;
  std::string* const rest[] = {&record.source_end, &record.source_path,
                               &record.target_start, &record.target_end,
                               &record.target_path};
  for (std::size_t read = 0; read < 5; ++read) {
    if (script.read_line(*rest[read])) continue;
    report.note("a splice record needs 6 lines, the script ended after " +
                std::to_string(read + 1));
    return false;
  }
  state.find_text = record.source_start;
  state.source_dir = record.source_path;
  state.replace_text = record.target_start;
  state.target_dir = record.target_path;
  std::unique_ptr<work_file> spliced = splice_block(record, os, report);
  if (!spliced) return false;
  copy_back(record, *spliced, os, report);
  return true;
}

bool handle_command_line(script_state& state, platform& os, reporter&) {
  os.run_command(state.current_line);
  return true;
}

}  // namespace quillmend
