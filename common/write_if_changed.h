// Writing a file so that one whose content would not change is left exactly
// as it is: no rename, so its modification time, inode, hard links and
// metadata stay, and sync tools see nothing new.
//
// While the new content is produced it is compared with the existing
// target; the replacement (a temporary file beside the target) is opened
// only at the first difference, and then takes the bytes that matched so
// far from the target before it goes on. So a rewrite that changes nothing
// costs one read of the target and no write at all. A target that does not
// exist, or cannot be read, is written as usual.
#ifndef QUILLMEND_COMMON_WRITE_IF_CHANGED_H_
#define QUILLMEND_COMMON_WRITE_IF_CHANGED_H_

#include <memory>
#include <string>

#include "platform/platform.h"

namespace quillmend {

class changed_file : public replacement_file {
 public:
  // True after a commit that found the content equal to the target's.
  virtual bool left_unchanged() const = 0;
  // True when the error of a write or commit came from opening the
  // replacement at the first difference (the target's folder is not
  // writable, say), which callers report as an open failure.
  virtual bool open_failed() const = 0;
};

// Like platform::open_replacement, with the comparison above. In text mode
// the comparison is made with the bytes as they would be stored (CR LF on
// Windows).
opened<changed_file> open_if_changed(platform& os, const std::string& target,
                                     const std::string& mode_source,
                                     open_mode mode = open_mode::text);

}  // namespace quillmend

#endif  // QUILLMEND_COMMON_WRITE_IF_CHANGED_H_
