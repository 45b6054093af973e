// Names as the console shows them.
//
// A file name may hold any byte but the separator, escape sequences
// included: printed to a terminal as they are, they would move the cursor,
// retitle the window or clear the screen. On a terminal every control
// character is shown as "?"; output that is redirected gets every byte as it
// is, so that what scripts and logs read stays exact.
#ifndef QUILLMEND_COMMON_SHOWN_TEXT_H_
#define QUILLMEND_COMMON_SHOWN_TEXT_H_

#include <ostream>
#include <string>

namespace quillmend {

// Writes `text` to `out`, with control characters as "?" when `terminal`.
void write_shown(std::ostream& out, const std::string& text, bool terminal);

struct shown {
  const std::string& text;
  bool terminal;
};

inline std::ostream& operator<<(std::ostream& out, const shown& s) {
  write_shown(out, s.text, s.terminal);
  return out;
}

}  // namespace quillmend

#endif  // QUILLMEND_COMMON_SHOWN_TEXT_H_
