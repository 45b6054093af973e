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

}  // namespace

text_matcher::text_matcher(const std::string& find_text, bool ignore_case)
    : find_(find_text), ignore_case_(ignore_case), anchor_(0) {
  if (ignore_case_)
    for (char& c : find_) c = to_lower_ascii(c);
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

}  // namespace quillmend
