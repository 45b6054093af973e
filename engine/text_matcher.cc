#include "engine/text_matcher.h"

namespace quillmend {
namespace {

char to_lower_ascii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
char to_upper_ascii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

}  // namespace

bool chars_equal(char a, char b, bool ignore_case) {
  if (a == b) return true;
  return ignore_case && to_lower_ascii(a) == to_lower_ascii(b);
}

bool strings_equal(const std::string& s, const std::string& t, bool ignore_case) {
  if (s.size() != t.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i)
    if (!chars_equal(s[i], t[i], ignore_case)) return false;
  return true;
}

text_matcher::text_matcher(const std::string& find_text, bool ignore_case)
    : find_(find_text), ignore_case_(ignore_case) {
  if (ignore_case_)
    for (char& c : find_) c = to_lower_ascii(c);
  first_lower_ = find_[0];
  first_upper_ = ignore_case_ ? to_upper_ascii(find_[0]) : find_[0];
  first_has_two_cases_ = first_lower_ != first_upper_;
}

bool text_matcher::rest_matches(const char* candidate) const {
  if (!ignore_case_)
    return std::memcmp(candidate + 1, find_.data() + 1, find_.size() - 1) == 0;
  for (std::size_t i = 1; i < find_.size(); ++i)
    if (to_lower_ascii(candidate[i]) != find_[i]) return false;
  return true;
}

}  // namespace quillmend
