// The replacement as plainly as it can be written, for tests and fuzzers to
// compare the engine with: at each place, compare the whole find text; on
// an occurrence, move on past it (so the leftmost one wins and none
// overlap), otherwise move on by one byte. Only ASCII letters fold.
#ifndef QUILLMEND_TESTS_REFERENCE_REPLACE_H_
#define QUILLMEND_TESTS_REFERENCE_REPLACE_H_

#include <cstddef>
#include <string>
#include <vector>

#include "common/ascii.h"

namespace quillmend_test {

inline bool reference_equal_at(const std::string& text, std::size_t at,
                               const std::string& find, bool ignore_case) {
  if (at + find.size() > text.size()) return false;
  for (std::size_t i = 0; i < find.size(); ++i) {
    const char a = text[at + i], b = find[i];
    if (ignore_case ? quillmend::to_lower_ascii(a) != quillmend::to_lower_ascii(b)
                    : a != b)
      return false;
  }
  return true;
}

// The offsets of the occurrences of `find` (not empty) in `text`.
inline std::vector<std::size_t> reference_matches(const std::string& text,
                                                  const std::string& find,
                                                  bool ignore_case) {
  std::vector<std::size_t> found;
  for (std::size_t at = 0; at + find.size() <= text.size();) {
    if (reference_equal_at(text, at, find, ignore_case)) {
      found.push_back(at);
      at += find.size();
    } else {
      ++at;
    }
  }
  return found;
}

inline std::string reference_replace(const std::string& text, const std::string& find,
                                     const std::string& replacement, bool ignore_case) {
  std::string out;
  std::size_t copied = 0;
  for (std::size_t at : reference_matches(text, find, ignore_case)) {
    out.append(text, copied, at - copied);
    out += replacement;
    copied = at + find.size();
  }
  out.append(text, copied, std::string::npos);
  return out;
}

}  // namespace quillmend_test

#endif  // QUILLMEND_TESTS_REFERENCE_REPLACE_H_
