#include "common/buffered_reader.h"

#include <algorithm>
#include <cstring>

namespace quillmend {

buffered_reader::buffered_reader(std::unique_ptr<input_file> file, std::size_t block_size)
    : file_(std::move(file)),
      capacity_(std::max<std::size_t>(block_size, 2)),
      buffer_(new char[capacity_]) {}

bool buffered_reader::fill(std::size_t wanted) {
  wanted = std::min(wanted, capacity_);
  while (available() < wanted && !at_end_) {
    if (begin_ > 0) {
      const std::size_t kept = available();
      std::memmove(buffer_.get(), buffer_.get() + begin_, kept);
      begin_ = 0;
      end_ = kept;
    }
    std::size_t count = 0;
    error_ = file_->read(buffer_.get() + end_, capacity_ - end_, count);
    end_ += count;
    if (!error_.is_ok() || count == 0) at_end_ = true;
  }
  return available() > 0;
}

}  // namespace quillmend
