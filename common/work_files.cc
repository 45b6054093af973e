#include "common/work_files.h"

#include <cstring>

namespace quillmend {

opened<work_folder> open_work_folder(platform& os, const char* folder) {
  if (os.kind() == platform_kind::posix) return os.open_work_folder(folder, true);
  if (std::strcmp(folder, kNewListFolder) == 0) os.make_dir(folder);
  return os.open_work_folder(folder, false);
}

}  // namespace quillmend
