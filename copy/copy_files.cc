#include "copy/copy_files.h"

#include <utility>
#include <vector>

#include "common/commands.h"
#include "common/line_reader.h"
#include "common/work_files.h"
#include "copy/copy_tokens.h"
#include "engine/replace_in_file.h"

namespace quillmend {
namespace {

using rename_list = std::vector<std::pair<std::string, std::string>>;

// Both lists are read whole before the first copy: a list that cannot be
// read fails the line before anything was copied, rather than ending the
// copies early as if the list were shorter.
bool read_renames(platform& os, rename_list& renames) {
  opened<input_file> old_names = os.open_input(kOldListFile);
  if (!old_names.result.is_ok()) return false;
  opened<input_file> new_names = os.open_input(kNewListFile);
  if (!new_names.result.is_ok()) return false;
  line_reader old_reader(std::move(old_names.file));
  line_reader new_reader(std::move(new_names.file));
  std::string old_name, new_name;
  while (old_reader.read_line(old_name) && new_reader.read_line(new_name))
    renames.emplace_back(old_name, new_name);
  return !old_reader.failed() && !new_reader.failed();
}

}  // namespace

copy_line_form parse_copy_line(const std::string& text, copy_line& line) {
  std::size_t position = 0;
  std::string first, operator_token, third;
  if (!next_token(text, position, first)) return copy_line_form::blank;
  if (!next_token(text, position, operator_token)) return copy_line_form::malformed;
  if (!next_token(text, position, third)) return copy_line_form::malformed;
  if (operator_token == ">") {
    line.pattern = first;
    line.new_name_text = third;
  } else if (operator_token == "<") {
    line.new_name_text = first;
    line.pattern = third;
  } else {
    return copy_line_form::malformed;
  }
  return copy_line_form::copy;
}

bool copy_files(const copy_line& line, platform& os, reporter& report) {
  prepare_work_folder(os, kOldListFolder);
  if (!write_listing(os, report, line.source_dir + "\\" + line.pattern, kOldListFile))
    return false;

  replace_job rename_names;
  rename_names.find_text = line.pattern;
  normalize_pattern(rename_names.find_text);
  rename_names.replace_text = line.new_name_text;
  rename_names.ignore_case = true;
  rename_names.source_dir = kOldListFolder;
  rename_names.target_dir = kNewListFolder;
  rename_names.name_line = kListFileName;
  prepare_work_folder(os, kNewListFolder);
  // A stale new list from an earlier line must never pair with this listing.
  if (!replace_in_file(rename_names, os, report)) return false;

  rename_list renames;
  if (!read_renames(os, renames)) {
    report.note("the lists of names " + report.describe(kOldListFile) + " and " +
                report.describe(kNewListFile) + " cannot be read back");
    return false;
  }
  for (const auto& rename : renames)
    copy_and_report(os, report, line.source_dir + "\\" + rename.first,
                    line.target_dir + "\\" + rename.second);
  return true;
}

}  // namespace quillmend
