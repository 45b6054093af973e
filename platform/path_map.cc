#include "platform/path_map.h"

#include <cctype>

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
  std::string mapped;
  std::string rest = script_path;
  if (starts_with_drive(script_path)) {
    mapped = drives_root;
    mapped += '/';
    mapped += static_cast<char>(std::tolower(static_cast<unsigned char>(script_path[0])));
    rest = script_path.substr(2);
    // "c:x" is relative to the drive's current folder, which on POSIX is
    // always its root.
    if (!rest.empty() && rest[0] != '\\' && rest[0] != '/') mapped += '/';
  }
  for (char c : rest) mapped += (c == '\\') ? '/' : c;
  return mapped;
}

std::string drives_root_from(const char* quillmend_drives, const char* xdg_data_home,
                             const char* home) {
  if (is_set(quillmend_drives)) return quillmend_drives;
  std::string data_home;
  if (is_set(xdg_data_home)) {
    data_home = xdg_data_home;
  } else {
    data_home = is_set(home) ? home : "";
    data_home += "/.local/share";
  }
  return data_home + "/quillmend/drives";
}

}  // namespace quillmend
