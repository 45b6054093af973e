#include "engine/text_matcher.h"

#include "common/ascii.h"

namespace quillmend {
namespace {

// How often a byte turns up in ordinary text files (prose, markup, source
// code), roughly in parts per thousand. Only the order matters: it steers
// the choice of anchor, never the result.
int typical_frequency(char byte) {
  // a to z, after the letter frequencies of English prose.
  static const int kLetters[26] = {82, 15, 28, 43, 127, 22, 20, 61, 70, 2,  8, 40, 24,
                                   67, 75, 19, 1,  60,  63, 91, 28, 10, 24, 2, 20, 1};
  const unsigned char c = static_cast<unsigned char>(byte);
  if (c >= 'a' && c <= 'z') return kLetters[c - 'a'];
  if (c >= 'A' && c <= 'Z') return kLetters[c - 'A'] / 5 + 1;
  if (c >= '0' && c <= '9') return 6;
  if (c >= 0x80) return 4;  // UTF-8 text other than English uses these a lot
  switch (c) {
    case ' ':
      return 170;
    case '\n':
      return 20;
    case '\t':
    case '\r':
    case ',':
    case '.':
      return 10;
    case '"':
    case '\'':
    case '(':
    case ')':
    case '-':
    case '_':
    case '=':
    case '/':
    case ':':
    case ';':
    case '<':
    case '>':
      return 4;
    default:
      return c < 0x20 || c == 0x7f ? 1 : 2;
  }
}

// The start of the greatest suffix of `text` in the order of bytes, or in
// the reverse order, and that suffix's period: the smallest p for which each
// byte equals the one p bytes further on.
std::size_t maximal_suffix(const std::string& text, bool reverse_order,
                           std::size_t& period) {
  std::size_t start = 0;      // of the greatest suffix so far
  std::size_t candidate = 1;  // start of the suffix it is compared with
  std::size_t offset = 0;
  period = 1;
  while (candidate + offset < text.size()) {
    const unsigned char a = static_cast<unsigned char>(text[candidate + offset]);
    const unsigned char b = static_cast<unsigned char>(text[start + offset]);
    if (a == b) {
      // Still repeating the period: go on, a whole period at a time.
      if (offset + 1 == period) {
        candidate += period;
        offset = 0;
      } else {
        ++offset;
      }
    } else if ((a < b) != reverse_order) {
      // The candidate is smaller: everything up to it is one period.
      candidate += offset + 1;
      offset = 0;
      period = candidate - start;
    } else {
      // The candidate is greater: it becomes the greatest suffix.
      start = candidate++;
      offset = 0;
      period = 1;
    }
  }
  return start;
}

}  // namespace

text_matcher::text_matcher(const std::string& find_text, bool ignore_case)
    : find_(find_text), ignore_case_(ignore_case) {
  if (ignore_case_)
    for (char& c : find_) c = to_lower_ascii(c);
  case_mask_.assign(find_.size(), '\xff');
  for (std::size_t i = 0; ignore_case_ && i < find_.size(); ++i)
    if (to_upper_ascii(find_[i]) != find_[i]) case_mask_[i] = '\xdf';
  choose_anchor();
  factorize();
}

void text_matcher::choose_anchor() {
  // A letter that folds is looked for in both cases, which costs a second
  // pass over the data: at equal frequency a byte of one case wins.
  int best_cost = -1;
  for (std::size_t i = 0; i < find_.size(); ++i) {
    const char lower = find_[i];
    const char upper = ignore_case_ ? to_upper_ascii(lower) : lower;
    const int cost = lower == upper
                         ? 2 * typical_frequency(lower)
                         : 2 * (typical_frequency(lower) + typical_frequency(upper)) + 1;
    if (best_cost < 0 || cost < best_cost) {
      best_cost = cost;
      anchor_ = i;
    }
  }
  anchor_lower_ = find_[anchor_];
  anchor_upper_ = ignore_case_ ? to_upper_ascii(anchor_lower_) : anchor_lower_;
  anchor_has_two_cases_ = anchor_lower_ != anchor_upper_;
}

// The later of the two greatest suffixes gives a critical factorization:
// there no shift smaller than the find text's period can line up a partial
// match, which is what makes the search linear.
void text_matcher::factorize() {
  std::size_t period = 1, reverse_period = 1;
  const std::size_t forward = maximal_suffix(find_, false, period);
  const std::size_t reverse = maximal_suffix(find_, true, reverse_period);
  if (reverse > forward) period = reverse_period;
  critical_ = forward > reverse ? forward : reverse;
  const std::size_t length = find_.size();
  if (find_.compare(0, critical_, find_, period, critical_) == 0) {
    shift_ = period;
    known_after_shift_ = length - period;
  } else {
    // The left part does not repeat: a mismatch in it rules out every start
    // up to the longer part's length.
    shift_ = (critical_ > length - critical_ ? critical_ : length - critical_) + 1;
    known_after_shift_ = 0;
  }
}

}  // namespace quillmend
