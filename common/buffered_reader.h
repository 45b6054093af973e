// Buffered reading of raw bytes from an input_file: the one buffer under the
// script and list reader, the splice's line reader and the text-mode input.
//
// The caller looks at data()/available(), consumes what it used, and asks
// fill() for more. fill(n) keeps the unconsumed bytes and reads behind them
// until n bytes are there, so a reader that must see one byte ahead (a CR
// before a possible LF) never loses its place.
#ifndef QUILLMEND_COMMON_BUFFERED_READER_H_
#define QUILLMEND_COMMON_BUFFERED_READER_H_

#include <cstddef>
#include <memory>

#include "platform/platform.h"

namespace quillmend {

class buffered_reader {
 public:
  static constexpr std::size_t kDefaultBlock = 64 * 1024;

  // `block_size` is raised to 2, the most that fill() is ever asked for.
  explicit buffered_reader(std::unique_ptr<input_file> file,
                           std::size_t block_size = kDefaultBlock);

  // Makes at least `wanted` bytes available (fewer only at the end of the
  // input or on an error). Returns whether any byte is available.
  bool fill(std::size_t wanted = 1);

  const char* data() const { return buffer_.get() + begin_; }
  std::size_t available() const { return end_ - begin_; }
  void consume(std::size_t count) { begin_ += count; }

  // True once a read returned no more bytes, or failed.
  bool at_end() const { return at_end_; }
  // The first read error; ok until one happens.
  const status& error() const { return error_; }
  const input_file& file() const { return *file_; }

 private:
  std::unique_ptr<input_file> file_;
  std::size_t capacity_;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool at_end_ = false;
  status error_;
};

}  // namespace quillmend

#endif  // QUILLMEND_COMMON_BUFFERED_READER_H_
