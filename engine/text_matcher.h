// Finding a text in a block of bytes, case-sensitive or ignoring ASCII case.
//
// Matching is byte for byte; with ignore_case only the letters A-Z and a-z
// fold onto each other, every other byte (0x80 and up included) matches only
// itself. Occurrences never overlap: after one, the search goes on at the
// byte that follows it, and the leftmost occurrence always wins.
#ifndef QUILLMEND_ENGINE_TEXT_MATCHER_H_
#define QUILLMEND_ENGINE_TEXT_MATCHER_H_

#include <cstddef>
#include <string>

namespace quillmend {

class text_matcher {
 public:
  // `find_text` must not be empty.
  text_matcher(const std::string& find_text, bool ignore_case);

  std::size_t length() const { return find_.size(); }

  // Calls on_match(offset) for each non-overlapping occurrence in
  // [data, data + size), leftmost first. Returns the offset just past the
  // last occurrence (0 when there is none).
  template <typename OnMatch>
  std::size_t for_each_match(const char* data, std::size_t size, OnMatch on_match) const;

 private:
  // Walks the possible starts whose anchor byte is right.
  struct anchor_cursor;

  bool matches_at(const char* candidate) const;

  std::string find_;  // folded to lower case when ignoring case
  bool ignore_case_;
  // Candidates are found by looking for one byte of the find text and then
  // comparing the whole text. The byte chosen is the one least likely to
  // occur in ordinary text: in "old.example.com" the "x" turns up far less
  // often than the "o", so far fewer candidates need comparing.
  std::size_t anchor_;  // index in find_
  char anchor_lower_;
  char anchor_upper_;
  bool anchor_has_two_cases_;
};

}  // namespace quillmend

#include "engine/text_matcher_inl.h"

#endif  // QUILLMEND_ENGINE_TEXT_MATCHER_H_
