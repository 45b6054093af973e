#include "engine/stream_replace.h"

#include <cstring>
#include <memory>

#include "engine/text_matcher.h"

namespace quillmend {

status stream_replace(input_file& in, replacement_file& out,
                      const replace_options& options) {
  const text_matcher matcher(options.find_text, options.ignore_case);
  const std::size_t carry_limit = matcher.length() - 1;
  const std::size_t block = options.block_size == 0 ? 1 : options.block_size;
  std::unique_ptr<char[]> buffer(new char[carry_limit + block]);
  const std::string& replacement = options.replace_text;
  std::size_t held = 0;  // bytes carried over from the previous block
  std::uint64_t total_read = 0;

  for (;;) {
    std::size_t count = 0;
    status read = in.read(buffer.get() + held, block, count);
    if (!read.is_ok()) return read;
    total_read += count;
    const bool at_end = count == 0;
    const std::size_t size = held + count;

    status written;
    std::size_t copied_to = 0;
    matcher.for_each_match(buffer.get(), size, [&](std::size_t at) {
      if (!written.is_ok()) return;
      written = out.write(buffer.get() + copied_to, at - copied_to);
      if (written.is_ok()) written = out.write(replacement.data(), replacement.size());
      copied_to = at + matcher.length();
    });
    if (!written.is_ok()) return written;

    // Bytes that may begin an occurrence completed by the next block.
    const std::size_t keep = at_end ? 0 : std::min(carry_limit, size - copied_to);
    written = out.write(buffer.get() + copied_to, size - copied_to - keep);
    if (!written.is_ok()) return written;
    if (at_end) return status::ok();
    std::memmove(buffer.get(), buffer.get() + size - keep, keep);
    held = keep;
    if (options.on_progress) options.on_progress(total_read);
  }
}

}  // namespace quillmend
