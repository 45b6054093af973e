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

#include "common/buffered_reader.h"
#include "engine/text_matcher.h"
#include "platform/platform.h"

namespace quillmend {

// A marker looked for in lines, as a plain case-sensitive substring; the
// search for it is prepared once and used for every line. An empty marker is
// in every line.
class line_marker {
 public:
  explicit line_marker(const std::string& text);
  bool empty() const { return matcher_ == nullptr; }
  std::size_t length() const { return matcher_ == nullptr ? 0 : matcher_->length(); }
  const text_matcher& matcher() const { return *matcher_; }

 private:
  std::shared_ptr<const text_matcher> matcher_;
};

class marked_lines {
 public:
  // `scan` and `copy` are two independent streams on the same file.
  marked_lines(std::unique_ptr<input_file> scan, std::unique_ptr<input_file> copy,
               std::size_t block_size = 64 * 1024);

  // Moves to the next line and tells whether it contains `marker` as a
  // plain, case-sensitive substring (an empty marker is in every line).
  // False at the end of input, and on an error.
  bool next_line(const line_marker& marker, bool& contains);

  // Writes the current line with its own line end; a last line without one
  // gets a line feed. Exactly one of write_line and skip_line follows each
  // successful next_line.
  status write_line(replacement_file& out);
  status skip_line();

  // The first read error, if any.
  const status& error() const;

  // Whether the file is still as it was opened (see input_file::unchanged).
  status unchanged() const;

 private:
  bool piece_contains(const char* piece, std::size_t size, const line_marker& marker);
  status move_line(replacement_file* out);

  buffered_reader scan_;
  buffered_reader copy_;
  std::uint64_t line_length_ = 0;  // bytes of the current line, line feed excluded
  bool line_has_feed_ = false;
  std::string tail_;  // last marker-length - 1 bytes seen of the current line
};

}  // namespace quillmend

#endif  // QUILLMEND_SPLICE_MARKED_LINES_H_
