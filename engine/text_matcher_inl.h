// Inline part of text_matcher: the search loop, kept in the header so that
// the per-match callback and the comparison are inlined on the hot path.
#ifndef QUILLMEND_ENGINE_TEXT_MATCHER_INL_H_
#define QUILLMEND_ENGINE_TEXT_MATCHER_INL_H_

#include <cstdint>
#include <cstring>

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

// A memchr call costs about as much as comparing a few bytes one by one, so
// when the anchor byte turns up at nearly every place ("aaaa" in "aaaaaaaa")
// the search is faster without it. Such stretches rarely last: after a rest the
// anchor is tried again.
struct text_matcher::anchor_budget {
  static constexpr std::size_t kCalls = 64;
  static constexpr std::size_t kMinSkip = 4;  // bytes per call, on average
  static constexpr std::size_t kRest = 16 * 1024;

  std::size_t calls = 0;
  std::size_t skipped = 0;
  std::size_t resting_until = 0;

  bool active(std::size_t at) const { return at >= resting_until; }

  void record(std::size_t at, std::size_t skip) {
    skipped += skip;
    if (++calls < kCalls) return;
    if (skipped < kMinSkip * kCalls) resting_until = at + kRest;
    calls = 0;
    skipped = 0;
  }
};

// Ignoring case, find is in lower case and `mask` has 0xDF under each letter
// and 0xFF elsewhere: a byte matches a letter when it differs from it at
// most in the case bit, anything else only when it is equal.
template <bool kFold>
inline bool same_byte(char text, char find, char mask) {
  return kFold ? ((text ^ find) & mask) == 0 : text == find;
}

// Where [window + from, window + length) first differs from find, or length.
template <bool kFold>
inline std::size_t first_difference(const char* window, const char* find,
                                    const char* mask, std::size_t from,
                                    std::size_t length) {
  std::size_t i = from;
  // Long find texts mostly match for long stretches: eight bytes at once.
  for (; i + 8 <= length; i += 8) {
    std::uint64_t a, b;
    std::memcpy(&a, window + i, 8);
    std::memcpy(&b, find + i, 8);
    std::uint64_t difference = a ^ b;
    if (kFold) {
      std::uint64_t m;
      std::memcpy(&m, mask + i, 8);
      difference &= m;
    }
    if (difference != 0) break;
  }
  while (i < length && same_byte<kFold>(window[i], find[i], mask[i])) ++i;
  return i;
}

template <bool kFold, typename OnMatch>
std::size_t text_matcher::search(const char* data, std::size_t size,
                                 OnMatch on_match) const {
  const std::size_t length = find_.size();
  if (size < length) return 0;
  const char* const find = find_.data();
  const char* const mask = case_mask_.data();
  const std::size_t last_start = size - length;
  anchor_cursor cursor{data + anchor_, last_start + 1, anchor_lower_, anchor_upper_,
                       anchor_has_two_cases_};
  anchor_budget budget;
  std::size_t end_of_last = 0;
  std::size_t at = 0;
  std::size_t known = 0;  // bytes at the start of the window known to match
  while (at <= last_start) {
    // No occurrence starts before the next place where the anchor is right.
    // After a shift by the period the window stays where it is: the bytes
    // known to match hold for this window only.
    if (known == 0 && budget.active(at)) {
      const std::size_t next = cursor.next(at);
      if (next > last_start) break;
      budget.record(next, next - at);
      at = next;
    }
    const char* const window = data + at;
    // The last byte refutes most near misses at once, and costs one
    // comparison per start it rules out.
    if (known == 0 &&
        !same_byte<kFold>(window[length - 1], find[length - 1], mask[length - 1])) {
      ++at;
      continue;
    }
    const std::size_t i = first_difference<kFold>(
        window, find, mask, critical_ > known ? critical_ : known, length);
    if (i < length) {
      at += i - critical_ + 1;
      known = 0;
      continue;
    }
    std::size_t j = critical_;
    while (j > known && same_byte<kFold>(window[j - 1], find[j - 1], mask[j - 1])) --j;
    if (j <= known) {
      on_match(at);
      at += length;
      end_of_last = at;
      known = 0;
    } else {
      at += shift_;
      known = known_after_shift_;
    }
  }
  return end_of_last;
}

template <typename OnMatch>
std::size_t text_matcher::for_each_match(const char* data, std::size_t size,
                                         OnMatch on_match) const {
  return ignore_case_ ? search<true>(data, size, on_match)
                      : search<false>(data, size, on_match);
}

}  // namespace quillmend

#endif  // QUILLMEND_ENGINE_TEXT_MATCHER_INL_H_
