#include "copy/copy_files.h"

#include <utility>
#include <vector>

#include "common/commands.h"
#include "common/file_selection.h"
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

// The folder part of a relative path with its separator ("docs\"), or "".
std::string folder_part(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? "" : path.substr(0, cut + 1);
}

std::string name_part(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool is_tree_pattern(const std::string& pattern) {
  return pattern.size() > 3 && pattern.compare(0, 2, "**") == 0 &&
         (pattern[2] == '\\' || pattern[2] == '/');
}

// The target folder, when it lies inside the source, is not copied into
// itself.
std::string left_out_of(const copy_line& line, platform& os) {
  const std::string source = os.native_path(line.source_dir);
  const std::string target = os.native_path(line.target_dir);
  if (target.size() <= source.size() + 1 || target.compare(0, source.size(), source) != 0)
    return "";
  return target[source.size()] == '/' || target[source.size()] == '\\' ? line.target_dir
                                                                       : "";
}

// Lists what the line copies into the old list: the bare names, or, for a
// tree, the names of the files found in any folder, with their folders in
// `folders`.
bool list_names(const copy_line& line, platform& os, reporter& report,
                std::vector<std::string>& folders) {
  if (!is_tree_pattern(line.pattern))
    return write_listing(os, report, line.source_dir + "\\" + line.pattern, kOldListFile);
  std::string pattern;
  for (char c : line.pattern)
    if (c != '"') pattern += c;
  std::vector<std::string> paths;
  const status listed =
      select_files(os, line.source_dir, pattern, left_out_of(line, os), paths);
  if (!listed.is_ok() || paths.empty())
    report.note("dir \"" + line.source_dir + "\\" + line.pattern + "\": " +
                (listed.is_ok() ? std::string("File Not Found") : listed.reason()));
  std::vector<std::string> names;
  for (const std::string& path : paths) {
    folders.push_back(folder_part(path));
    names.push_back(name_part(path));
  }
  return write_name_list(os, report, names, kOldListFile);
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
  std::vector<std::string> folders;
  if (!list_names(line, os, report, folders)) return false;

  replace_job rename_names;
  rename_names.find_text =
      is_tree_pattern(line.pattern) ? line.pattern.substr(3) : line.pattern;
  normalize_pattern(rename_names.find_text);
  if (rename_names.find_text.empty()) {
    report.note("\"" + line.pattern +
                "\": the pattern has no literal part to replace in the names");
    return false;
  }
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
  for (std::size_t i = 0; i < renames.size(); ++i) {
    const std::string folder = i < folders.size() ? folders[i] : "";
    const std::string to = line.target_dir + "\\" + folder + renames[i].second;
    // A tree is copied into the same folders, made where they are missing.
    if (!folder.empty()) os.make_parent_dirs(to);
    copy_and_report(os, report, line.source_dir + "\\" + folder + renames[i].first, to);
  }
  return true;
}

}  // namespace quillmend
