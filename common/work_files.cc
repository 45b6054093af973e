#include "common/work_files.h"

#include <cstring>

namespace quillmend {

status prepare_work_folder(platform& os, const char* folder) {
  if (os.kind() == platform_kind::posix) return os.make_dirs(folder);
  if (std::strcmp(folder, kNewListFolder) == 0) os.make_dir(folder);
  return os.is_dir(folder)
             ? status::ok()
             : status::not_found("The system cannot find the path specified");
}

}  // namespace quillmend
