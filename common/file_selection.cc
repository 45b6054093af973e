#include "common/file_selection.h"

#include <algorithm>
#include <set>
#include <utility>

#include "platform/wildcard.h"

namespace quillmend {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

std::vector<std::string> parts_of(const std::string& pattern) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : pattern) {
    if (!is_separator(c)) {
      part += c;
      continue;
    }
    if (!part.empty()) parts.push_back(part);
    part.clear();
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::string join(const std::string& folder, const std::string& name) {
  if (name.empty()) return folder;
  if (folder.empty()) return name;
  // The root ("\\") already ends with its separator.
  return is_separator(folder.back()) ? folder + name : folder + "\\" + name;
}

class selector {
 public:
  selector(platform& os, std::string folder, std::vector<std::string> parts,
           const std::string& left_out)
      : os_(os), folder_(std::move(folder)), parts_(std::move(parts)) {
    if (!left_out.empty()) left_out_ = key_of(left_out);
  }

  status run(std::vector<std::string>& paths) {
    std::vector<folder_entry> top;
    const status listed = os_.list_folder(folder_, top);
    if (!listed.is_ok()) return listed;
    walk("", 0);
    paths = std::move(found_);
    std::sort(paths.begin(), paths.end());
    return status::ok();
  }

 private:
  std::string key_of(const std::string& path) const {
    std::string key = os_.path_key(path);
    while (key.size() > 1 && is_separator(key.back())) key.pop_back();
    return key;
  }

  std::vector<folder_entry> entries_of(const std::string& relative) {
    std::vector<folder_entry> entries;
    os_.list_folder(join(folder_, relative), entries);
    // A name holding a backslash (an ordinary character on POSIX) or a line
    // end cannot be written as one part of a script path: left out.
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const folder_entry& e) {
                                   return e.hidden || e.name.find_first_of("\\\n\r") !=
                                                          std::string::npos;
                                 }),
                  entries.end());
    return entries;
  }

  bool may_enter(const std::string& relative, const folder_entry& entry) const {
    if (entry.kind != folder_entry::type::folder || entry.is_link) return false;
    return left_out_.empty() ||
           key_of(join(folder_, join(relative, entry.name))) != left_out_;
  }

  void add_file(const std::string& relative, const folder_entry& entry) {
    if (entry.kind != folder_entry::type::file) return;
    // Two names of one file (a link and its target) select it once.
    if (entry.device != 0 || entry.inode != 0)
      if (!files_seen_.insert({entry.device, entry.inode}).second) return;
    const std::string path = join(relative, entry.name);
    if (paths_seen_.insert(path).second) found_.push_back(path);
  }

  // Matches parts_[index...] against the folder `relative`.
  void walk(const std::string& relative, std::size_t index) {
    if (index >= parts_.size() || !visited_.insert({relative, index}).second) return;
    const std::string& part = parts_[index];
    const bool last = index + 1 == parts_.size();
    const std::vector<folder_entry> entries = entries_of(relative);
    if (part == "**") {
      walk(relative, index + 1);
      for (const folder_entry& entry : entries) {
        if (last) add_file(relative, entry);
        if (may_enter(relative, entry)) walk(join(relative, entry.name), index);
      }
      return;
    }
    for (const folder_entry& entry : entries) {
      if (!wildcard_match(part, entry.name)) continue;
      if (last)
        add_file(relative, entry);
      else if (may_enter(relative, entry))
        walk(join(relative, entry.name), index + 1);
    }
  }

  platform& os_;
  std::string folder_;
  std::vector<std::string> parts_;
  std::string left_out_;
  std::set<std::pair<std::string, std::size_t>> visited_;
  std::set<std::pair<std::uint64_t, std::uint64_t>> files_seen_;
  std::set<std::string> paths_seen_;
  std::vector<std::string> found_;
};

}  // namespace

bool lies_inside(platform& os, const std::string& inner, const std::string& outer) {
  const std::string outer_key = os.path_key(outer);
  const std::string inner_key = os.path_key(inner);
  if (inner_key.size() <= outer_key.size() + 1) return false;
  if (inner_key.compare(0, outer_key.size(), outer_key) != 0) return false;
  return is_separator(inner_key[outer_key.size()]) ||
         (!outer_key.empty() && is_separator(outer_key.back()));
}

bool is_pattern(const std::string& text) {
  return text.find_first_of("*?") != std::string::npos;
}

status select_files(platform& os, const std::string& folder, const std::string& pattern,
                    const std::string& left_out, std::vector<std::string>& paths) {
  paths.clear();
  return selector(os, folder, parts_of(pattern), left_out).run(paths);
}

void split_at_first_wildcard(const std::string& path, std::string& folder,
                             std::string& pattern) {
  const std::size_t wildcard = path.find_first_of("*?");
  if (wildcard == std::string::npos) {
    folder = path;
    pattern.clear();
    return;
  }
  const std::size_t cut = path.find_last_of("\\/", wildcard);
  if (cut == std::string::npos) {
    folder.clear();
    pattern = path;
    return;
  }
  // "\*.htm" selects in the root: keep the separator as the folder.
  folder = path.substr(0, cut == 0 ? 1 : cut);
  pattern = path.substr(cut + 1);
}

}  // namespace quillmend
