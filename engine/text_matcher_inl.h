// Inline part of text_matcher: the search loop, kept in the header so that
// the per-match callback and the comparison are inlined on the hot path.
#ifndef QUILLMEND_ENGINE_TEXT_MATCHER_INL_H_
#define QUILLMEND_ENGINE_TEXT_MATCHER_INL_H_

#include <cstring>

#include "common/ascii.h"

namespace quillmend {

// Finds the anchor byte with memchr. `data` points at the anchor of the
// first possible start, so a position found is the start of a candidate.
// When folding a letter, both cases are searched, and each one's next
// position is remembered until the scan has passed it, so that a rare case
// is not searched for again and again.
struct text_matcher::anchor_cursor {
  const char* data;
  std::size_t size;
  char lower;
  char upper;
  bool two_cases;
  std::size_t next_lower = 0;
  std::size_t next_upper = 0;
  bool lower_valid = false;
  bool upper_valid = false;

  std::size_t locate(char c, std::size_t from) const {
    const void* hit = std::memchr(data + from, c, size - from);
    return hit == nullptr
               ? size
               : static_cast<std::size_t>(static_cast<const char*>(hit) - data);
  }

  std::size_t next(std::size_t from) {
    if (from >= size) return size;
    if (!lower_valid || next_lower < from) {
      next_lower = locate(lower, from);
      lower_valid = true;
    }
    if (!two_cases) return next_lower;
    if (!upper_valid || next_upper < from) {
      next_upper = locate(upper, from);
      upper_valid = true;
    }
    return next_lower < next_upper ? next_lower : next_upper;
  }
};

inline bool text_matcher::matches_at(const char* candidate) const {
  const std::size_t length = find_.size();
  const char* find = find_.data();
  // Most candidates differ within the first bytes, and find texts are short:
  // a plain loop beats a call to memcmp here.
  if (!ignore_case_) {
    for (std::size_t i = 0; i < length; ++i)
      if (candidate[i] != find[i]) return false;
    return true;
  }
  for (std::size_t i = 0; i < length; ++i) {
    if (to_lower_ascii(candidate[i]) != find[i]) return false;
  }
  return true;
}

template <typename OnMatch>
std::size_t text_matcher::for_each_match(const char* data, std::size_t size,
                                         OnMatch on_match) const {
  const std::size_t length = find_.size();
  std::size_t end_of_last = 0;
  if (size < length) return 0;
  const std::size_t last_start = size - length;
  anchor_cursor cursor{data + anchor_, last_start + 1, anchor_lower_, anchor_upper_,
                       anchor_has_two_cases_};
  std::size_t at = cursor.next(0);
  while (at <= last_start) {
    if (matches_at(data + at)) {
      on_match(at);
      end_of_last = at + length;
      at = cursor.next(end_of_last);
    } else {
      at = cursor.next(at + 1);
    }
  }
  return end_of_last;
}

}  // namespace quillmend

#endif  // QUILLMEND_ENGINE_TEXT_MATCHER_INL_H_
