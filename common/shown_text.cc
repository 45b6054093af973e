#include "common/shown_text.h"

namespace quillmend {
namespace {

bool is_control(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7f;
}

}  // namespace

void write_shown(std::ostream& out, const std::string& text, bool terminal) {
  if (!terminal) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return;
  }
  // Written in runs between control characters: a long name is never copied.
  std::size_t run_start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && !is_control(text[i])) continue;
    out.write(text.data() + run_start, static_cast<std::streamsize>(i - run_start));
    if (i < text.size()) out << '?';
    run_start = i + 1;
  }
}

}  // namespace quillmend
