// Inputs that more than one end-to-end test file needs.
#ifndef QUILLMEND_TESTS_E2E_INPUTS_H_
#define QUILLMEND_TESTS_E2E_INPUTS_H_

#include <string>

namespace quillmend_e2e {

// About 3 MiB: long runs without an occurrence of "old.example.com" (written
// straight through), stretches of close occurrences (gathered), mixed-case
// spellings, and an occurrence across every 64 KiB boundary.
inline std::string large_input() {
  std::string text;
  unsigned state = 12345;
  const auto next = [&state] { return state = state * 1103515245u + 12345u; };
  while (text.size() < 3 * 1024 * 1024) {
    const unsigned kind = (next() >> 16) % 4;
    if (kind == 0) {
      text += std::string(20000 + (next() >> 16) % 300000,
                          static_cast<char>('a' + (next() >> 16) % 20));
    } else if (kind == 1) {
      for (int i = 0; i < 2000; ++i) text += "Old.Example.com;";
    } else {
      text += "x old.example.com\n";
    }
  }
  for (std::size_t boundary = 65536; boundary + 20 < text.size(); boundary += 65536)
    text.replace(boundary - 7, 15, "old.example.com");
  return text;
}

}  // namespace quillmend_e2e

#endif  // QUILLMEND_TESTS_E2E_INPUTS_H_
