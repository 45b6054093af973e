#include "platform/text_mode.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quillmend {

crlf_input::crlf_input(std::unique_ptr<input_file> raw, std::size_t buffer_size)
    : raw_(std::move(raw)),
      // Two bytes at least: a held CR and the byte that decides it.
      capacity_(std::max<std::size_t>(buffer_size, 2)) {
  buffer_.reset(new char[capacity_]);
}

status crlf_input::refill() {
  // At most one byte is left: a CR whose next byte is not read yet.
  const std::size_t kept = end_ - begin_;
  if (kept > 0) buffer_[0] = buffer_[begin_];
  begin_ = 0;
  end_ = kept;
  std::size_t count = 0;
  status result = raw_->read(buffer_.get() + kept, capacity_ - kept, count);
  if (!result.is_ok()) return result;
  if (count == 0) at_end_ = true;
  end_ += count;
  return status::ok();
}

status crlf_input::read(char* buffer, std::size_t size, std::size_t& count) {
  count = 0;
  while (count < size) {
    const std::size_t available = end_ - begin_;
    const bool undecided_cr = available == 1 && buffer_[begin_] == '\r' && !at_end_;
    if (available == 0 || undecided_cr) {
      // Hand over what is there rather than wait for (or fail on) more.
      if (count > 0 || at_end_) break;
      status result = refill();
      if (!result.is_ok()) return result;
      continue;
    }
    const char* start = buffer_.get() + begin_;
    const std::size_t run = std::min(available, size - count);
    const void* cr = std::memchr(start, '\r', run);
    if (cr == nullptr) {
      std::memcpy(buffer + count, start, run);
      count += run;
      begin_ += run;
      continue;
    }
    const std::size_t before =
        static_cast<std::size_t>(static_cast<const char*>(cr) - start);
    std::memcpy(buffer + count, start, before);
    count += before;
    begin_ += before;
    if (end_ - begin_ == 1 && !at_end_) continue;  // undecided: see above
    // A CR followed by LF is dropped; the LF is delivered next.
    if (end_ - begin_ >= 2 && buffer_[begin_ + 1] == '\n') {
      ++begin_;
      continue;
    }
    buffer[count++] = buffer_[begin_++];
  }
  return status::ok();
}

crlf_output::crlf_output(std::unique_ptr<replacement_file> raw) : raw_(std::move(raw)) {}

status crlf_output::write(const char* data, std::size_t size) {
  while (size > 0) {
    const void* feed = std::memchr(data, '\n', size);
    const std::size_t before =
        feed == nullptr ? size
                        : static_cast<std::size_t>(static_cast<const char*>(feed) - data);
    if (before > 0) {
      status result = raw_->write(data, before);
      if (!result.is_ok()) return result;
    }
    if (feed == nullptr) break;
    status result = raw_->write("\r\n", 2);
    if (!result.is_ok()) return result;
    data += before + 1;
    size -= before + 1;
  }
  return status::ok();
}

status crlf_output::commit() { return raw_->commit(); }

}  // namespace quillmend
