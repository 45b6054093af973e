#include "copy/copy_files.h"

#include <utility>
#include <vector>

#include "copy/copy_tokens.h"
#include "common/work_files.h"
#include "engine/replace_in_file.h"
#include "platform/commands.h"

namespace quillmend {
namespace {

// Reads the pattern and the new-name text of a copy line into find_text and
// replace_text, as written. False when the line is not a copy line.
bool read_copy_line(script_state& state) {
  std::size_t position = 0;
  std::string first, operator_token;
  next_token(state.current_line, position, first);
  if (!next_token(state.current_line, position, operator_token)) return false;
  std::string third;
  if (!next_token(state.current_line, position, third)) return false;
  if (operator_token == ">") {
    state.find_text = first;
    state.replace_text = third;
  } else if (operator_token == "<") {
    state.replace_text = first;
    state.find_text = third;
  } else {
    return false;
  }
  return true;
}

opened<input_file> open_list(platform& os, const std::string& folder) {
  return os.open_input(folder + std::string("\\") + kListFileName);
}

}  // namespace

bool copy_files(script_state& state, platform& os) {
  {
    std::size_t position = 0;
    std::string first;
    if (!next_token(state.current_line, position, first)) return true;
  }
  if (!read_copy_line(state)) return false;

  os.prepare_work_folder(kOldListFolder);
  const std::string old_list = std::string(kOldListFolder) + "\\" + kListFileName;
  if (!write_listing(os, state.source_dir + "\\" + state.find_text, old_list))
    return false;
  normalize_pattern(state.find_text);

  // The engine rewrites the list of names; it works on the state's folders
  // and name line, which are lent to it for this one call.
  const std::string source_dir = state.source_dir;
  const std::string target_dir = state.target_dir;
  state.source_dir = kOldListFolder;
  state.target_dir = kNewListFolder;
  state.current_line = kListFileName;
  state.ignore_case = true;
  os.prepare_work_folder(kNewListFolder);
  const bool renamed = replace_in_file(state, os);
  state.source_dir = source_dir;
  state.target_dir = target_dir;
  // A stale new list from an earlier line must never pair with this listing.
  if (!renamed) return false;

  opened<input_file> old_names = open_list(os, kOldListFolder);
  if (!old_names.result.is_ok()) return false;
  opened<input_file> new_names = open_list(os, kNewListFolder);
  if (!new_names.result.is_ok()) return false;
  // Both lists are read whole before the first copy: a list that cannot be
  // read fails the line before anything was copied, rather than ending the
  // copies early as if the list were shorter.
  line_reader old_reader(std::move(old_names.file));
  line_reader new_reader(std::move(new_names.file));
  std::vector<std::pair<std::string, std::string>> renames;
  std::string old_name, new_name;
  while (old_reader.read_line(old_name) && new_reader.read_line(new_name))
    renames.emplace_back(old_name, new_name);
  if (old_reader.failed() || new_reader.failed()) return false;
  for (const auto& rename : renames)
    copy_and_report(os, source_dir + "\\" + rename.first,
                    target_dir + "\\" + rename.second);
  return true;
}

}  // namespace quillmend
