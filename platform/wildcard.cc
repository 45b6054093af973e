#include "platform/wildcard.h"

#include <cstddef>

#include "common/ascii.h"

namespace quillmend {

bool wildcard_match(const std::string& pattern, const std::string& name) {
  // Greedy match with one backtrack point: linear in practice, never
  // exponential, whatever the number of stars.
  std::size_t p = 0, n = 0;
  std::size_t star = std::string::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || to_lower_ascii(pattern[p]) ==
                                                               to_lower_ascii(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

listing_request split_listing_pattern(const std::string& path_pattern) {
  std::string unquoted;
  for (char c : path_pattern)
    if (c != '"') unquoted += c;
  const std::size_t cut = unquoted.find_last_of("\\/");
  if (cut == std::string::npos) return {"", unquoted};
  // "\*.htm" lists the root: keep the separator as the folder.
  std::string folder = unquoted.substr(0, cut == 0 ? 1 : cut);
  return {folder, unquoted.substr(cut + 1)};
}

}  // namespace quillmend
