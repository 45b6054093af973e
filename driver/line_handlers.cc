#include "driver/line_handlers.h"

#include "common/file_selection.h"
#include "copy/copy_files.h"
#include "copy/copy_tokens.h"
#include "engine/replace_in_file.h"
#include "splice/splice_block.h"

namespace quillmend {

namespace {

// "open <folder>\<pattern> failed." as for a missing file, and why.
bool report_no_match(platform& os, reporter& report, const std::string& folder,
                     const std::string& pattern, const status& listed) {
  const std::string path = folder + "\\" + pattern;
  os.console() << "open " << path << " failed.";
  end_line(os.console());
  report.note(report.describe(path) + ": " +
              (listed.is_ok() ? std::string("no regular file matches the pattern")
                              : listed.reason()));
  return false;
}

}  // namespace

bool handle_replace_line(script_state& state, platform& os, reporter& report) {
  replace_job job;
  job.find_text = state.find_text;
  job.replace_text = state.replace_text;
  job.ignore_case = state.ignore_case;
  job.source_dir = state.source_dir;
  job.target_dir = state.target_dir;
  // The line is read afresh for the next line: moved, not copied.
  job.name_line = std::move(state.current_line);
  // Leading blanks hold no wildcard, so the whole line tells.
  if (!is_pattern(job.name_line)) return replace_in_file(std::move(job), os, report);
  const std::string name = job.name_line.substr(job.name_line.find_first_not_of(" \t"));
  // Selected in full before the first file is written, so that what the
  // line writes never becomes part of what it reads.
  // The folder the name lines are joined to: an empty one is the root.
  const std::string folder = job.source_dir.empty() ? "\\" : job.source_dir;
  std::vector<std::string> selected;
  const status listed = select_files(
      os, folder, name, lies_inside(os, job.target_dir, folder) ? job.target_dir : "",
      selected);
  if (selected.empty()) return report_no_match(os, report, job.source_dir, name, listed);
  for (const std::string& path : selected) {
    job.name_line = path;
    if (!replace_in_file(job, os, report)) return false;
  }
  return true;
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

namespace {

bool splice_one_target(const splice_record& record, platform& os, reporter& report) {
  splice_extent extent;
  std::unique_ptr<work_file> spliced = splice_block(record, os, report, extent);
  if (!spliced) return false;
  if (copy_back(record, *spliced, os, report))
    report.block_spliced(record.target_path, extent.first_line, extent.removed,
                         extent.inserted);
  return true;
}

}  // namespace

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
  if (!is_pattern(record.target_path)) return splice_one_target(record, os, report);
  std::string folder, pattern;
  split_at_first_wildcard(record.target_path, folder, pattern);
  std::vector<std::string> selected;
  const status listed = select_files(os, folder, pattern, "", selected);
  if (selected.empty()) return report_no_match(os, report, folder, pattern, listed);
  // Every target gets its own splice and copy-back; one that is refused
  // does not keep the others from theirs, but the record still fails.
  bool all_spliced = true;
  for (const std::string& path : selected) {
    splice_record one = record;
    one.target_path = folder.empty()          ? path
                      : folder.back() == '\\' ? folder + path
                                              : folder + "\\" + path;
    all_spliced = splice_one_target(one, os, report) && all_spliced;
  }
  return all_spliced;
}

bool handle_command_line(script_state& state, platform& os, reporter& report) {
  os.run_command(state.current_line);
  // The command may have removed folders the run made.
  os.forget_known_folders();
  report.command_run();
  return true;
}

}  // namespace quillmend
