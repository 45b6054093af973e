// How a script's bytes become the text the tool reads line by line.
//
// Editors save scripts in three ways that matter here: in the system's own
// code page with no mark (what every script was before marks came into
// use), as UTF-8 behind the byte-order mark EF BB BF, or as UTF-16 LE behind
// the mark FF FE (what Windows editors call "Unicode"). The tool works on
// bytes, so script_text hands out the first as it is, the second without its
// mark and the third converted to UTF-8; the two marked kinds then name
// their files and commands in UTF-8.
//
// Old editors and DOS copies leave a 0x1A end-of-file byte after the last
// line. A single 0x1A that is the very last byte of the file is dropped; any
// other 0x1A is a byte like the rest. Data files never pass through here.
#ifndef QUILLMEND_COMMON_SCRIPT_TEXT_H_
#define QUILLMEND_COMMON_SCRIPT_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/buffered_reader.h"
#include "platform/platform.h"

namespace quillmend {

enum class script_encoding {
  unmarked,  // the bytes as they are
  utf8,      // EF BB BF
  utf16le,   // FF FE
};

// A script file read through its mark. UTF-16 LE is converted unit by unit:
// a surrogate pair becomes one four-byte UTF-8 character, and whatever
// cannot be a character (a surrogate without its partner, an odd last byte
// other than 0x1A) becomes U+FFFD, the replacement character, so that a
// name holding one fails visibly instead of naming some other file. For
// UTF-16 the raw file must be read byte for byte (open_mode::binary): text
// mode would take a CR LF byte pair out of the middle of two characters.
class script_text : public input_file {
 public:
  explicit script_text(std::unique_ptr<input_file> raw);

  // Looks at the first bytes, once, and tells which mark they start with.
  script_encoding encoding();

  status read(char* buffer, std::size_t size, std::size_t& count) override;
  std::int64_t size() const override { return raw_.file().size(); }

 private:
  status read_bytes(char* buffer, std::size_t size, std::size_t& count);
  // Converts UTF-16 LE into pending_ until it holds about `wanted` bytes or
  // the input ends.
  void convert_utf16(std::size_t wanted);
  char32_t next_utf16_character();

  buffered_reader raw_;
  bool detected_ = false;
  script_encoding encoding_ = script_encoding::unmarked;
  std::string pending_;  // converted, not yet handed out
  std::size_t pending_start_ = 0;
};

// Opens the script `path` for a line_reader: in text mode, or again byte for
// byte when it turns out to be UTF-16. Tells `os` how the script's names are
// encoded. A script that cannot be opened leaves `os` as it was.
opened<input_file> open_script(platform& os, const std::string& path);

}  // namespace quillmend

#endif  // QUILLMEND_COMMON_SCRIPT_TEXT_H_
