#include "copy/copy_files.h"

#include <map>
#include <utility>
#include <vector>

#include "common/ascii.h"
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
bool read_renames(work_file& old_list, work_file& new_list, rename_list& renames) {
  opened<input_file> old_names = old_list.read_back(open_mode::text);
  if (!old_names.result.is_ok()) return false;
  opened<input_file> new_names = new_list.read_back(open_mode::text);
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

// Lists what the line copies into the old list: the bare names, or, for a
// tree, the names of the files found in any folder, with their folders in
// `folders`.
std::unique_ptr<work_file> list_names(const copy_line& line, platform& os,
                                      reporter& report, work_folder& folder,
                                      std::vector<std::string>& folders) {
  if (!is_tree_pattern(line.pattern))
    return write_listing(os, report, line.source_dir + "\\" + line.pattern, folder,
                         kListFileName, kOldListFile);
  std::string pattern;
  for (char c : line.pattern)
    if (c != '"') pattern += c;
  std::vector<std::string> paths;
  // Joined to the source folder as names are, so an empty one is the root;
  // a target inside the source is not copied into itself.
  const std::string source = line.source_dir.empty() ? "\\" : line.source_dir;
  const status listed = select_files(
      os, source, pattern,
      lies_inside(os, line.target_dir, source) ? line.target_dir : "", paths);
  if (!listed.is_ok() || paths.empty())
    report.note("dir \"" + line.source_dir + "\\" + line.pattern + "\": " +
                (listed.is_ok() ? std::string("File Not Found") : listed.reason()));
  std::vector<std::string> names;
  for (const std::string& path : paths) {
    folders.push_back(folder_part(path));
    names.push_back(name_part(path));
  }
  return write_name_list(report, names, folder, kListFileName, kOldListFile);
}

// Hands the new list to the engine, which commits it, while the copy line
// keeps it to read back.
class borrowed_output : public changed_file {
 public:
  explicit borrowed_output(replacement_file& file) : file_(file) {}
  status write(const char* data, std::size_t size) override {
    return file_.write(data, size);
  }
  status commit() override { return file_.commit(); }
  // A work file is always written afresh.
  bool left_unchanged() const override { return false; }
  bool open_failed() const override { return false; }

 private:
  replacement_file& file_;
};

// Opens both work folders, or says on the diagnostics stream why not: the
// list that cannot be written, then the folder and what is wrong with it.
bool open_list_folders(platform& os, reporter& report, opened<work_folder>& old_folder,
                       opened<work_folder>& new_folder) {
  old_folder = open_work_folder(os, kOldListFolder);
  if (!old_folder.result.is_ok()) {
    report.note(std::string("write ") + kOldListFile + " failed: " +
                report.describe(kOldListFolder) + ": " + old_folder.result.reason());
    return false;
  }
  new_folder = open_work_folder(os, kNewListFolder);
  if (!new_folder.result.is_ok()) {
    report.note(std::string("write ") + kNewListFile + " failed: " +
                report.describe(kNewListFolder) + ": " + new_folder.result.reason());
    return false;
  }
  return true;
}

// The name as the target folder tells names apart: letter case counts on
// POSIX and not on Windows.
std::string name_key(const platform& os, std::string name) {
  if (os.kind() == platform_kind::windows)
    for (char& c : name) c = to_lower_ascii(c);
  return name;
}

// Renaming ignores case, so "x.htm" and "x.HTM" both become "x.html": the
// second copy would silently overwrite the first. The first name of the
// sorted list is copied; each later one that lands on the same name is a
// failed copy.
void drop_clashing_targets(const copy_line& line, platform& os, reporter& report,
                           rename_list& renames) {
  std::map<std::string, std::string> first_source;  // target name -> source name
  rename_list kept;
  for (auto& rename : renames) {
    const auto inserted = first_source.emplace(name_key(os, rename.second), rename.first);
    if (inserted.second) {
      kept.push_back(std::move(rename));
      continue;
    }
    report.failure_that_goes_on("copy \"" + line.source_dir + "\\" + rename.first +
                                "\" to \"" + line.target_dir + "\\" + rename.second +
                                "\" failed: \"" + inserted.first->second +
                                "\" is copied to the same name");
  }
  renames.swap(kept);
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
  std::string literal_part =
      is_tree_pattern(line.pattern) ? line.pattern.substr(3) : line.pattern;
  normalize_pattern(literal_part);
  // Nothing to replace in the names: the engine would refuse the empty find
  // text with its own message, which is about a replace line, not this one.
  if (literal_part.empty()) {
    report.note("pattern " + line.pattern +
                ": it has no literal part that the new name could replace");
    return false;
  }
  opened<work_folder> old_folder, new_folder;
  if (!open_list_folders(os, report, old_folder, new_folder)) return false;
  std::vector<std::string> folders;
  std::unique_ptr<work_file> old_list =
      list_names(line, os, report, *old_folder.file, folders);
  if (!old_list) return false;

  replace_job rename_names;
  rename_names.find_text = literal_part;
  rename_names.replace_text = line.new_name_text;
  rename_names.ignore_case = true;
  rename_names.source_dir = kOldListFolder;
  rename_names.target_dir = kNewListFolder;
  rename_names.name_line = kListFileName;
  // Made afresh, so a stale new list from an earlier line can never pair
  // with this listing.
  opened<work_file> new_list = new_folder.file->create_file(kListFileName);
  if (!new_list.result.is_ok()) {
    report.note(report.describe(kNewListFile) + ": " + new_list.result.reason());
    return false;
  }
  replace_files files;
  files.open_input = [&](const std::string&) {
    return old_list->read_back(open_mode::text);
  };
  files.open_output = [&](const std::string&, const std::string&) {
    return opened<changed_file>{std::make_unique<borrowed_output>(*new_list.file),
                                status::ok()};
  };
  if (!replace_through_files(std::move(rename_names), files, os, report)) return false;

  rename_list renames;
  if (!read_renames(*old_list, *new_list.file, renames)) {
    report.note("the lists of names " + report.describe(kOldListFile) + " and " +
                report.describe(kNewListFile) + " cannot be read back");
    return false;
  }
  // A tree's files keep their folders: only the names were renamed.
  for (std::size_t i = 0; i < renames.size() && i < folders.size(); ++i) {
    renames[i].first.insert(0, folders[i]);
    renames[i].second.insert(0, folders[i]);
  }
  drop_clashing_targets(line, os, report, renames);
  for (const auto& rename : renames) {
    const std::string to = line.target_dir + "\\" + rename.second;
    // A tree is copied into the same folders, made where they are missing.
    if (rename.second.find('\\') != std::string::npos) os.make_parent_dirs(to);
    copy_and_report(os, report, line.source_dir + "\\" + rename.first, to);
  }
  return true;
}

}  // namespace quillmend
