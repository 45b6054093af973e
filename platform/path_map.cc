#include "platform/path_map.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace quillmend {
namespace {

bool starts_with_drive(const std::string& path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) &&
         path[1] == ':';
}

bool is_set(const char* value) { return value != nullptr && *value != '\0'; }

}  // namespace

bool is_bare_drive(const std::string& path) {
  return path.size() == 2 && starts_with_drive(path);
}

std::string map_to_posix(const std::string& script_path, const std::string& drives_root) {
  // Built in one piece without a copy of the rest: a path may be as long as
  // a whole script line.
  std::string mapped;
  std::size_t rest = 0;
  if (starts_with_drive(script_path)) {
    mapped.reserve(drives_root.size() + 3 + script_path.size());
    mapped = drives_root;
    mapped += '/';
    mapped += static_cast<char>(std::tolower(static_cast<unsigned char>(script_path[0])));
    rest = 2;
    // "c:x" is relative to the drive's current folder, which on POSIX is
    // always its root.
    if (rest < script_path.size() && script_path[rest] != '\\' &&
        script_path[rest] != '/')
      mapped += '/';
  } else {
    mapped.reserve(script_path.size());
  }
  mapped.append(script_path, rest, std::string::npos);
  std::replace(mapped.begin() + static_cast<std::ptrdiff_t>(mapped.size() -
                                                            (script_path.size() - rest)),
               mapped.end(), '\\', '/');
  return mapped;
}

std::string drives_root_from(const char* quillmend_drives, const char* xdg_data_home,
                             const char* home) {
  if (is_set(quillmend_drives)) return quillmend_drives;
  std::string data_home;
  if (is_set(xdg_data_home)) {
    data_home = xdg_data_home;
  } else if (is_set(home)) {
    data_home = home;
    data_home += "/.local/share";
  } else {
    return "";
  }
  return data_home + "/quillmend/drives";
}

}  // namespace quillmend
