#include "copy/copy_tokens.h"

namespace quillmend {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool next_token(const std::string& line, std::size_t& position, std::string& token) {
  token.clear();
  while (position < line.size() && (is_blank(line[position]) || line[position] == '\n'))
    ++position;
  if (position >= line.size()) return false;
  const std::size_t start = position;
  bool quoted = false;
  do {
    if (line[position] == '"') quoted = !quoted;
    ++position;
  } while (position < line.size() && !(is_blank(line[position]) && !quoted));
  token = line.substr(start, position - start);
  return true;
}

void normalize_pattern(std::string& pattern) {
  std::string literal;
  for (char c : pattern)
    if (c != '"') literal += c;
  if (literal.size() <= 1) return;
  const bool leading_star = literal.front() == '*';
  const bool trailing_star = literal.back() == '*';
  if (!leading_star && !trailing_star) return;
  if (trailing_star) literal.pop_back();
  if (leading_star) literal.erase(0, 1);
  pattern = literal;
}

}  // namespace quillmend
