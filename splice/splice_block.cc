#include "splice/splice_block.h"

#include "common/work_files.h"
#include "common/write_if_changed.h"
#include "platform/copy_stream.h"
#include "splice/marked_lines.h"

namespace quillmend {
namespace {

// Opens `path` twice, for marked_lines; null, with the reason in `result`,
// when it cannot be read.
std::unique_ptr<marked_lines> open_marked(platform& os, const std::string& path,
                                          status& result) {
  opened<input_file> scan = os.open_input(path);
  result = scan.result;
  if (!scan.result.is_ok()) return nullptr;
  opened<input_file> copy = os.open_input(path);
  result = copy.result;
  if (!copy.result.is_ok()) return nullptr;
  return std::make_unique<marked_lines>(std::move(scan.file), std::move(copy.file));
}

// Each step reads lines until one contains `marker`; `write` says what
// happens to the lines before it, `write_found` to that line. Returns whether
// such a line was found; errors land in `result`. `passed` counts the lines
// before it.
bool pass_lines_until(marked_lines& lines, const line_marker& marker,
                      replacement_file& out, bool write, bool write_found, status& result,
                      std::uint64_t& passed) {
  bool contains = false;
  passed = 0;
  while (result.is_ok() && lines.next_line(marker, contains)) {
    const bool keep = contains ? write_found : write;
    result = keep ? lines.write_line(out) : lines.skip_line();
    if (contains) return result.is_ok();
    ++passed;
  }
  if (result.is_ok()) result = lines.error();
  return false;
}

// Why a splice was refused, or the first read or write error; ok after a
// whole spliced copy was written. `failed_line` tells which record line
// (3 for the source, 6 for the target) the reason is about.
status write_spliced(const splice_record& record, marked_lines& source,
                     marked_lines& target, replacement_file& out, int& failed_line,
                     splice_extent& extent) {
  status result;
  failed_line = 6;
  std::uint64_t head = 0;
  const bool target_has_start = pass_lines_until(target, line_marker(record.target_start),
                                                 out, true, true, result, head);
  extent.first_line = head + (target_has_start ? 2 : 1);
  if (!result.is_ok()) return result;
  failed_line = 3;
  // Without its start line, the source has no block: splicing would only
  // delete the target's block.
  std::uint64_t skipped = 0;
  if (!pass_lines_until(source, line_marker(record.source_start), out, false, false,
                        result, skipped))
    return result.is_ok() ? status::failed("the source has no line with the start marker")
                          : result;
  const bool source_has_end = pass_lines_until(source, line_marker(record.source_end),
                                               out, true, false, result, extent.inserted);
  if (!result.is_ok()) return result;
  // A start line that is the source's last line (a one-line template whose
  // line holds both markers, a file whose line ends are lone CRs) gives no
  // block at all, not an empty one: splicing would silently empty the
  // target's block. A start line directly followed by an end line is an
  // empty block on purpose and goes through.
  if (extent.inserted == 0 && !source_has_end)
    return status::failed(
        "the source's line with the start marker is its last line: there is no block "
        "after it");
  failed_line = 6;
  // Without an end line after its start line, the rest of the target would
  // be lost: refuse instead.
  if (target_has_start && !pass_lines_until(target, line_marker(record.target_end), out,
                                            false, true, result, extent.removed))
    return result.is_ok()
               ? status::failed(
                     "the target has a start marker but no end marker after it")
               : result;
  const line_marker any_line("");
  bool contains = false;
  while (result.is_ok() && target.next_line(any_line, contains))
    result = target.write_line(out);
  if (result.is_ok()) result = target.error();
  if (result.is_ok()) result = target.unchanged();
  if (!result.is_ok()) return result;
  failed_line = 3;
  return source.unchanged();
}

// The record's line `record_line` (1 to 6) and what it names.
void report_record(reporter& report, const splice_record& record, int record_line,
                   const std::string& what, const std::string& reason,
                   bool run_goes_on = false) {
  const std::uint64_t first = record.first_line;
  report.at_line(first + static_cast<std::uint64_t>(record_line) - 1);
  const std::string message = report.describe(what) + " (splice record from line " +
                              std::to_string(first) + "): " + reason;
  if (run_goes_on)
    report.failure_that_goes_on(message);
  else
    report.note(message);
  report.at_line(first);
}

}  // namespace

std::unique_ptr<work_file> splice_block(const splice_record& record, platform& os,
                                        reporter& report, splice_extent& extent) {
  status opened_source;
  std::unique_ptr<marked_lines> source =
      open_marked(os, record.source_path, opened_source);
  if (!source) {
    report_record(report, record, 3, record.source_path, opened_source.reason());
    return nullptr;
  }
  status opened_target;
  std::unique_ptr<marked_lines> target =
      open_marked(os, record.target_path, opened_target);
  if (!target) {
    report_record(report, record, 6, record.target_path, opened_target.reason());
    return nullptr;
  }
  opened<work_folder> folder = open_work_folder(os, kNewListFolder);
  if (!folder.result.is_ok()) {
    report_record(report, record, 1, kNewListFolder, folder.result.reason());
    return nullptr;
  }
  opened<work_file> out = folder.file->create_file(kSplicedWorkFileName);
  if (!out.result.is_ok()) {
    report_record(report, record, 1, kSplicedWorkFile, out.result.reason());
    return nullptr;
  }
  int failed_line = 1;
  status written =
      write_spliced(record, *source, *target, *out.file, failed_line, extent);
  if (written.is_ok()) {
    written = out.file->commit();
    failed_line = 1;
  }
  if (written.is_ok()) return std::move(out.file);
  const std::string& what = failed_line == 3   ? record.source_path
                            : failed_line == 6 ? record.target_path
                                               : std::string(kSplicedWorkFile);
  report_record(report, record, failed_line, what, written.reason());
  return nullptr;
}

bool copy_back(const splice_record& record, work_file& spliced, platform& os,
               reporter& report) {
  status result;
  opened<input_file> in = spliced.read_back(open_mode::binary);
  result = in.result;
  if (result.is_ok()) {
    // A target that already holds the result is left as it is.
    opened<changed_file> out =
        open_if_changed(os, record.target_path, record.target_path, open_mode::binary);
    result = out.result;
    if (result.is_ok()) result = copy_stream(*in.file, *out.file);
    // Closed before the rename: Windows cannot replace a file that is open.
    in.file.reset();
    if (result.is_ok()) result = out.file->commit();
  }
  if (result.is_ok()) return true;
  report_record(report, record, 6, record.target_path,
                "the spliced copy could not replace it: " + result.reason(), true);
  return false;
}

}  // namespace quillmend
