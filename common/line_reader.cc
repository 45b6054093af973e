#include "common/line_reader.h"

#include <cstring>

namespace quillmend {

line_reader::line_reader(std::unique_ptr<input_file> file) : input_(std::move(file)) {}

bool line_reader::read_line(std::string& line) {
  if (!read_next(line)) return false;
  ++line_number_;
  return true;
}

bool line_reader::read_next(std::string& line) {
  line.clear();
  bool read_any = false;
  while (input_.fill()) {
    read_any = true;
    const char* start = input_.data();
    const std::size_t available = input_.available();
    const void* feed = std::memchr(start, '\n', available);
    if (feed == nullptr) {
      line.append(start, available);
      input_.consume(available);
      continue;
    }
    const std::size_t length =
        static_cast<std::size_t>(static_cast<const char*>(feed) - start);
    line.append(start, length);
    input_.consume(length + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }
  if (failed()) return false;
  if (read_any && !line.empty() && line.back() == '\r') line.pop_back();
  return read_any;
}

}  // namespace quillmend
