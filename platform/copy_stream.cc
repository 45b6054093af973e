#include "platform/copy_stream.h"

#include <memory>

namespace quillmend {

status copy_stream(input_file& from, replacement_file& to) {
  static constexpr std::size_t kBlock = 128 * 1024;
  std::unique_ptr<char[]> block(new char[kBlock]);
  for (;;) {
    std::size_t count = 0;
    status read = from.read(block.get(), kBlock, count);
    if (!read.is_ok()) return read;
    if (count == 0) return status::ok();
    status written = to.write(block.get(), count);
    if (!written.is_ok()) return written;
  }
}

}  // namespace quillmend
