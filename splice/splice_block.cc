#include "splice/splice_block.h"

#include "common/work_files.h"
#include "splice/marked_lines.h"

namespace quillmend {
namespace {

struct splice_record {
  std::string source_end;
  std::string target_end;
};

bool read_record(script_state& state, splice_record& record) {
  state.find_text = state.current_line;
  line_reader& script = *state.script_stream;
  return script.read_line(record.source_end) && script.read_line(state.source_dir) &&
         script.read_line(state.replace_text) && script.read_line(record.target_end) &&
         script.read_line(state.target_dir);
}

// Opens `path` twice, for marked_lines; null when it cannot be read.
std::unique_ptr<marked_lines> open_marked(platform& os, const std::string& path) {
  opened<input_file> scan = os.open_input(path);
  if (!scan.result.is_ok()) return nullptr;
  opened<input_file> copy = os.open_input(path);
  if (!copy.result.is_ok()) return nullptr;
  return std::make_unique<marked_lines>(std::move(scan.file), std::move(copy.file));
}

// Each step reads lines until one contains `marker`; `write` says what
// happens to the lines before it, `write_found` to that line. Returns whether
// such a line was found; errors land in `result`.
bool pass_lines_until(marked_lines& lines, const std::string& marker,
                      replacement_file& out, bool write, bool write_found,
                      status& result) {
  bool contains = false;
  while (result.is_ok() && lines.next_line(marker, contains)) {
    const bool keep = contains ? write_found : write;
    result = keep ? lines.write_line(out) : lines.skip_line();
    if (contains) return result.is_ok();
  }
  if (result.is_ok()) result = lines.error();
  return false;
}

bool write_spliced(const script_state& state, const splice_record& record,
                   marked_lines& source, marked_lines& target, replacement_file& out) {
  status result;
  const bool target_has_start =
      pass_lines_until(target, state.replace_text, out, true, true, result);
  // Without its start line, the source has no block: splicing would only
  // delete the target's block.
  if (!pass_lines_until(source, state.find_text, out, false, false, result)) return false;
  pass_lines_until(source, record.source_end, out, true, false, result);
  if (!result.is_ok()) return false;
  // Without an end line after its start line, the rest of the target would
  // be lost: refuse instead.
  if (target_has_start &&
      !pass_lines_until(target, record.target_end, out, false, true, result))
    return false;
  bool contains = false;
  while (result.is_ok() && target.next_line(std::string(), contains))
    result = target.write_line(out);
  if (result.is_ok()) result = target.error();
  return result.is_ok();
}

}  // namespace

bool splice_block(script_state& state, platform& os) {
  splice_record record;
  if (!read_record(state, record)) return false;
  std::unique_ptr<marked_lines> source = open_marked(os, state.source_dir);
  if (!source) return false;
  std::unique_ptr<marked_lines> target = open_marked(os, state.target_dir);
  if (!target) return false;
  os.prepare_work_folder(kNewListFolder);
  opened<replacement_file> out = os.open_replacement(kSplicedWorkFile, "");
  if (!out.result.is_ok()) return false;
  if (!write_spliced(state, record, *source, *target, *out.file)) return false;
  return out.file->commit().is_ok();
}

}  // namespace quillmend
