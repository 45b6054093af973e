#include "platform/text_mode.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quillmend {

crlf_input::crlf_input(std::unique_ptr<input_file> raw, std::size_t buffer_size)
    : raw_(std::move(raw), buffer_size) {}

status crlf_input::read(char* buffer, std::size_t size, std::size_t& count) {
  count = 0;
  while (count < size) {
    // Hand over what is there rather than wait for (or fail on) more.
    if (raw_.available() == 0 && (count > 0 || !raw_.fill())) break;
    const char* start = raw_.data();
    const std::size_t run = std::min(raw_.available(), size - count);
    const void* cr = std::memchr(start, '\r', run);
    const std::size_t before =
        cr == nullptr ? run
                      : static_cast<std::size_t>(static_cast<const char*>(cr) - start);
    std::memcpy(buffer + count, start, before);
    count += before;
    raw_.consume(before);
    if (cr == nullptr) continue;
    // A CR needs the byte after it: CR LF is delivered as the LF alone.
    raw_.fill(2);
    if (raw_.available() >= 2 && raw_.data()[1] == '\n') {
      raw_.consume(1);
      continue;
    }
    buffer[count++] = '\r';
    raw_.consume(1);
  }
  return raw_.error();
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
