// Finding a text in a block of bytes, case-sensitive or ignoring ASCII case.
//
// Matching is byte for byte; with ignore_case only the letters A-Z and a-z
// fold onto each other, every other byte (0x80 and up included) matches only
// itself. Occurrences never overlap: after one, the search goes on at the
// byte that follows it, and the leftmost occurrence always wins.
//
// The time is linear in the size of the block for every find text: a
// Two-Way search (Crochemore and Perrin) underlies it, which never looks at
// a byte of the block more than a few times. On ordinary text it is led by
// memchr to the places where the find text's rarest byte turns up.
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
  // Tells when the anchor stops paying for its memchr calls.
  struct anchor_budget;

  template <bool kFold, typename OnMatch>
  std::size_t search(const char* data, std::size_t size, OnMatch on_match) const;

  void choose_anchor();
  void factorize();

  std::string find_;  // folded to lower case when ignoring case
  // Ignoring case, 0xDF under each letter of find_ (the letters differ from
  // their other case in bit 0x20 alone) and 0xFF under other bytes; unused
  // otherwise.
  std::string case_mask_;
  bool ignore_case_;
  // Candidates are found by looking for one byte of the find text. The byte
  // chosen is the one least likely to occur in ordinary text: in
  // "old.example.com" the "x" turns up far less often than the "o", so far
  // fewer candidates need comparing.
  std::size_t anchor_ = 0;  // index in find_
  char anchor_lower_ = 0;
  char anchor_upper_ = 0;
  bool anchor_has_two_cases_ = false;
  // The Two-Way factorization: find_[critical_, end) is compared first,
  // left to right, then find_[0, critical_) right to left. A mismatch in
  // the right part moves on past the bytes that matched; a mismatch in the
  // left part moves on by shift_.
  std::size_t critical_ = 0;
  std::size_t shift_ = 1;
  // For a find text made of repeats of its first shift_ bytes: how many
  // bytes at the start are known to match after a shift_, which spares
  // comparing them again ("aaaa" moved on by one still matches in "aaa").
  // 0 for other find texts.
  std::size_t known_after_shift_ = 0;
};

}  // namespace quillmend

#include "engine/text_matcher_inl.h"

#endif  // QUILLMEND_ENGINE_TEXT_MATCHER_H_
