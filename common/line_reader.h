// Reads a text file line by line: scripts and the copy lists.
//
// A line ends at a line feed, which is not delivered, and a carriage return
// just before it is dropped too, so LF and CR LF files read the same. Lines
// have any length. A last line without a line feed is delivered like any
// other. No byte ends the input early.
#ifndef QUILLMEND_COMMON_LINE_READER_H_
#define QUILLMEND_COMMON_LINE_READER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "common/buffered_reader.h"
#include "platform/platform.h"

namespace quillmend {

class line_reader {
 public:
  explicit line_reader(std::unique_ptr<input_file> file);

  // Stores the next line in `line`. Returns false at the end of input, and
  // from then on; also on a read error, which failed() then tells.
  bool read_line(std::string& line);

  bool failed() const { return !input_.error().is_ok(); }

  // How many lines were delivered so far: the number of the last one.
  std::uint64_t line_number() const { return line_number_; }

 private:
  bool read_next(std::string& line);

  buffered_reader input_;
  std::uint64_t line_number_ = 0;
};

}  // namespace quillmend

#endif  // QUILLMEND_COMMON_LINE_READER_H_
