// How a script path becomes a POSIX path.
//
// Scripts are written for a Windows console: backslashes and drive letters.
// On POSIX every backslash is a separator, and a path that starts with a
// drive letter and a colon lives under a folder of drives:
//   "c:\temp\old"  -> "<drives_root>/c/temp/old"
//   "D:x.txt"      -> "<drives_root>/d/x.txt"
//   "sub\a.txt"    -> "sub/a.txt"
// Pure string work, so it is tested on every platform.
#ifndef QUILLMEND_PLATFORM_PATH_MAP_H_
#define QUILLMEND_PLATFORM_PATH_MAP_H_

#include <string>

namespace quillmend {

std::string map_to_posix(const std::string& script_path, const std::string& drives_root);

// True when `path` is a drive letter and a colon alone ("c:", "D:").
bool is_bare_drive(const std::string& path);

// The drives folder: $QUILLMEND_DRIVES, else
// ${XDG_DATA_HOME:-$HOME/.local/share}/quillmend/drives. Arguments are the
// variables' values, null when unset (`home` may also come from the user
// database). Empty when none of them is set: there is no drives folder.
std::string drives_root_from(const char* quillmend_drives, const char* xdg_data_home,
                             const char* home);

}  // namespace quillmend

#endif  // QUILLMEND_PLATFORM_PATH_MAP_H_
