#include "driver/line_reader.h"

#include <cstring>

namespace quillmend {
namespace {
constexpr std::size_t kBufferSize = 64 * 1024;
}  // namespace

line_reader::line_reader(std::unique_ptr<input_file> file)
    : file_(std::move(file)), buffer_(new char[kBufferSize]) {}

bool line_reader::refill() {
  if (at_end_) return false;
  std::size_t count = 0;
  error_ = file_->read(buffer_.get(), kBufferSize, count);
  begin_ = 0;
  end_ = count;
  if (!error_.is_ok() || count == 0) at_end_ = true;
  return count > 0;
}

bool line_reader::read_line(std::string& line) {
  line.clear();
  bool read_any = false;
  for (;;) {
    if (begin_ == end_ && !refill()) break;
    read_any = true;
    const char* start = buffer_.get() + begin_;
    const std::size_t available = end_ - begin_;
    const void* feed = std::memchr(start, '\n', available);
    if (feed == nullptr) {
      line.append(start, available);
      begin_ = end_;
      continue;
    }
    const std::size_t length =
        static_cast<std::size_t>(static_cast<const char*>(feed) - start);
    line.append(start, length);
    begin_ += length + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }
  if (failed()) return false;
  if (read_any && !line.empty() && line.back() == '\r') line.pop_back();
  return read_any;
}

}  // namespace quillmend
