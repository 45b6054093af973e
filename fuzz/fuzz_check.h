// Shared by the fuzz targets: a failed check is a finding, so it aborts with
// a line that names it, and libFuzzer keeps the input that caused it.
#ifndef QUILLMEND_FUZZ_FUZZ_CHECK_H_
#define QUILLMEND_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace quillmend_fuzz {

inline void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "quillmend fuzz mismatch: %s\n", what);
  std::abort();
}

// The lines of a text as every line reader of the tool must see them: split
// at each line feed, which is not part of the line; a last line without one
// is a line when it is not empty.
inline std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t feed = text.find('\n', start);
    if (feed == std::string::npos) break;
    lines.push_back(text.substr(start, feed - start));
    start = feed + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// Maps every byte onto a small alphabet, so that random inputs hold many
// occurrences and near misses of each other.
inline void narrow(std::string& text, const char* alphabet, std::size_t alphabet_size) {
  for (char& c : text) c = alphabet[static_cast<unsigned char>(c) % alphabet_size];
}

}  // namespace quillmend_fuzz

#endif  // QUILLMEND_FUZZ_FUZZ_CHECK_H_
