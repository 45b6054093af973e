// A text file read line by line, with a marker test on each line, in bounded
// memory whatever the length of a line.
//
// Two readers walk the same file: the scanning reader finds where the next
// line ends and whether it contains a marker; the trailing reader then
// copies that line to an output or skips it. A line is never held whole, so
// a file made of one 1 GiB line costs no more memory than any other.
#ifndef QUILLMEND_SPLICE_MARKED_LINES_H_
#define QUILLMEND_SPLICE_MARKED_LINES_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace quillmend {

// Buffered reading of raw bytes.
class block_reader {
 public:
  block_reader(std::unique_ptr<input_file> file, std::size_t block_size);

  // Makes at least one byte available; false at the end of input or on an
  // error (see error()).
  bool fill();
  const char* data() const { return buffer_.get() + begin_; }
  std::size_t available() const { return end_ - begin_; }
  void consume(std::size_t count) { begin_ += count; }
  const status& error() const { return error_; }

 private:
  std::unique_ptr<input_file> file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t block_size_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool at_end_ = false;
  status error_;
};

class marked_lines {
 public:
  // `scan` and `copy` are two independent streams on the same file.
  marked_lines(std::unique_ptr<input_file> scan, std::unique_ptr<input_file> copy,
               std::size_t block_size = 64 * 1024);

  // Moves to the next line and tells whether it contains `marker` as a
  // plain, case-sensitive substring (an empty marker is in every line).
  // False at the end of input, and on an error.
  bool next_line(const std::string& marker, bool& contains);

  // Writes the current line with its own line end; a last line without one
  // gets a line feed. Exactly one of write_line and skip_line follows each
  // successful next_line.
  status write_line(replacement_file& out);
  status skip_line();

  // The first read error, if any.
  const status& error() const;

 private:
  bool piece_contains(const char* piece, std::size_t size, const std::string& marker);
  status move_line(replacement_file* out);

  block_reader scan_;
  block_reader copy_;
  std::uint64_t line_length_ = 0;  // bytes of the current line, line feed excluded
  bool line_has_feed_ = false;
  std::string tail_;  // last marker-length - 1 bytes seen of the current line
};

}  // namespace quillmend

#endif  // QUILLMEND_SPLICE_MARKED_LINES_H_
