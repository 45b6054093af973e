#include "splice/splice_block.h"

#include "common/work_files.h"
#include "platform/commands.h"
#include "splice/marked_lines.h"

namespace quillmend {
namespace {

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
bool pass_lines_until(marked_lines& lines, const line_marker& marker,
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

bool write_spliced(const splice_record& record, marked_lines& source,
                   marked_lines& target, replacement_file& out) {
  status result;
  const bool target_has_start =
      pass_lines_until(target, line_marker(record.target_start), out, true, true, result);
  // Without its start line, the source has no block: splicing would only
  // delete the target's block.
  if (!pass_lines_until(source, line_marker(record.source_start), out, false, false,
                        result))
    return false;
  pass_lines_until(source, line_marker(record.source_end), out, true, false, result);
  if (!result.is_ok()) return false;
  // Without an end line after its start line, the rest of the target would
  // be lost: refuse instead.
  if (target_has_start &&
      !pass_lines_until(target, line_marker(record.target_end), out, false, true, result))
    return false;
  const line_marker any_line("");
  bool contains = false;
  while (result.is_ok() && target.next_line(any_line, contains))
    result = target.write_line(out);
  if (result.is_ok()) result = target.error();
  return result.is_ok();
}

}  // namespace

bool splice_block(const splice_record& record, platform& os) {
  std::unique_ptr<marked_lines> source = open_marked(os, record.source_path);
  if (!source) return false;
  std::unique_ptr<marked_lines> target = open_marked(os, record.target_path);
  if (!target) return false;
  prepare_work_folder(os, kNewListFolder);
  opened<replacement_file> out = os.open_replacement(kSplicedWorkFile, "");
  if (!out.result.is_ok()) return false;
  if (!write_spliced(record, *source, *target, *out.file)) return false;
  return out.file->commit().is_ok();
}

bool copy_back(const splice_record& record, platform& os) {
  return copy_and_report(os, kSplicedWorkFile, record.target_path);
}

}  // namespace quillmend
