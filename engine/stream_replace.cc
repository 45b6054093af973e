#include "engine/stream_replace.h"

#include <cstring>
#include <memory>

#include "engine/text_matcher.h"

namespace quillmend {
namespace {

// Gathers the small pieces of the output (the bytes between close
// occurrences, the replacement text) so that the file receives them in a few
// large writes rather than two small ones per occurrence. Large pieces go to
// the file as they are, so sparse occurrences cost no extra copy.
class output_gatherer {
 public:
  explicit output_gatherer(replacement_file& out) : out_(out), buffer_(new char[kSize]) {}

  // False after the first write error, which error() then holds.
  bool add(const char* data, std::size_t size) {
    if (size < kDirect && size <= kSize - used_) {
      std::memcpy(buffer_.get() + used_, data, size);
      used_ += size;
      return true;
    }
    if (!flush()) return false;
    if (size < kDirect) return add(data, size);
    return keep(out_.write(data, size));
  }

  bool flush() {
    if (used_ == 0) return error_.is_ok();
    const std::size_t size = used_;
    used_ = 0;
    return keep(out_.write(buffer_.get(), size));
  }

  const status& error() const { return error_; }

 private:
  static constexpr std::size_t kSize = 16 * 1024;
  static constexpr std::size_t kDirect = 1024;

  bool keep(status result) {
    if (error_.is_ok()) error_ = std::move(result);
    return error_.is_ok();
  }

  replacement_file& out_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  status error_;
};

}  // namespace

status stream_replace(input_file& in, replacement_file& out,
                      const replace_options& options, std::uint64_t* replacements) {
  std::uint64_t found = 0;
  const text_matcher matcher(options.find_text, options.ignore_case);
  const std::size_t carry_limit = matcher.length() - 1;
  const std::size_t block = options.block_size == 0 ? 1 : options.block_size;
  std::unique_ptr<char[]> buffer(new char[carry_limit + block]);
  const std::string& replacement = options.replace_text;
  output_gatherer output(out);
  std::size_t held = 0;  // bytes carried over from the previous block
  std::uint64_t total_read = 0;

  for (;;) {
    std::size_t count = 0;
    status read = in.read(buffer.get() + held, block, count);
    if (!read.is_ok()) return read;
    total_read += count;
    const bool at_end = count == 0;
    const std::size_t size = held + count;

    bool written = true;
    std::size_t copied_to = 0;
    matcher.for_each_match(buffer.get(), size, [&](std::size_t at) {
      written = written && output.add(buffer.get() + copied_to, at - copied_to) &&
                output.add(replacement.data(), replacement.size());
      copied_to = at + matcher.length();
      ++found;
    });

    // Bytes that may begin an occurrence completed by the next block.
    const std::size_t keep = at_end ? 0 : std::min(carry_limit, size - copied_to);
    if (!written || !output.add(buffer.get() + copied_to, size - copied_to - keep))
      return output.error();
    if (at_end) {
      output.flush();
      if (replacements != nullptr) *replacements = found;
      return output.error();
    }
    std::memmove(buffer.get(), buffer.get() + size - keep, keep);
    held = keep;
    if (options.on_progress) options.on_progress(total_read);
  }
}

}  // namespace quillmend
