// The copy line's helpers against simple references and properties:
//   next_token: the tokens and the blanks between them make up the line
//     again, a token has blanks only inside quotes, and it ends at a blank
//     outside quotes or at the end of the line;
//   normalize_pattern: a plain rewrite of its rule; it never grows;
//   wildcard_match: a textbook dynamic-programming matcher;
//   split_listing_pattern: the unquoted pattern cut at its last separator.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "copy/copy_tokens.h"
#include "fuzz/fuzz_check.h"
#include "platform/wildcard.h"

namespace {

using quillmend_fuzz::require;

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_separator(char c) { return is_blank(c) || c == '\n'; }

void check_tokens(const std::string& line) {
  std::size_t position = 0, previous_end = 0;
  std::string token, rebuilt;
  std::vector<std::string> tokens;
  while (quillmend::next_token(line, position, token)) {
    require(!token.empty(), "an empty token");
    require(tokens.size() < line.size(), "more tokens than characters");
    require(position >= token.size() && position - token.size() >= previous_end,
            "a token overlaps the one before");
    const std::size_t start = position - token.size();
    for (std::size_t i = previous_end; i < start; ++i)
      require(is_separator(line[i]), "a character between tokens was skipped");
    require(line.compare(start, token.size(), token) == 0, "a token is not the line's");
    require(!is_separator(token[0]), "a token starts with a blank");
    bool quoted = false;
    for (std::size_t i = 0; i < token.size(); ++i) {
      if (i > 0 && is_blank(token[i]))
        require(quoted, "a blank outside quotes in a token");
      if (token[i] == '"') quoted = !quoted;
    }
    require(position == line.size() || (is_blank(line[position]) && !quoted),
            "a token ends inside a word");
    rebuilt += line.substr(previous_end, start - previous_end) + token;
    tokens.push_back(token);
    previous_end = position;
  }
  require(token.empty(), "no token found, but the token is not empty");
  require(position == line.size(), "no token found before the end of the line");
  for (std::size_t i = previous_end; i < line.size(); ++i)
    require(is_separator(line[i]), "a character after the last token was skipped");
  rebuilt += line.substr(previous_end);
  require(rebuilt == line, "tokens and blanks do not make up the line");
}

std::string reference_normalize(const std::string& pattern) {
  std::string literal;
  for (char c : pattern)
    if (c != '"') literal += c;
  if (literal.size() < 2) return pattern;
  const bool leading = literal[0] == '*';
  const bool trailing = literal[literal.size() - 1] == '*';
  if (!leading && !trailing) return pattern;
  return literal.substr(leading ? 1 : 0,
                        literal.size() - (leading ? 1 : 0) - (trailing ? 1 : 0));
}

void check_normalize(const std::string& pattern) {
  std::string normalized = pattern;
  quillmend::normalize_pattern(normalized);
  require(normalized.size() <= pattern.size(), "normalize_pattern grows its pattern");
  require(normalized == reference_normalize(pattern),
          "normalize_pattern differs from the reference");
  if (normalized != pattern)
    require(normalized.find('"') == std::string::npos,
            "a rewritten pattern kept a quote");
}

char fold(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool reference_match(const std::string& pattern, const std::string& name) {
  // matched[j]: the pattern's first i characters match the name's first j.
  std::vector<char> matched(name.size() + 1, 0), next(name.size() + 1, 0);
  matched[0] = 1;
  for (std::size_t j = 1; j <= name.size(); ++j) matched[j] = 0;
  for (char p : pattern) {
    next.assign(name.size() + 1, 0);
    for (std::size_t j = 0; j <= name.size(); ++j) {
      if (p == '*') {
        next[j] = matched[j] || (j > 0 && next[j - 1]);
      } else if (j > 0) {
        next[j] = matched[j - 1] && (p == '?' || fold(p) == fold(name[j - 1]));
      }
    }
    matched.swap(next);
  }
  return matched[name.size()] != 0;
}

void check_listing_split(const std::string& path_pattern) {
  const quillmend::listing_request request =
      quillmend::split_listing_pattern(path_pattern);
  std::string unquoted;
  for (char c : path_pattern)
    if (c != '"') unquoted += c;
  const std::size_t cut = unquoted.find_last_of("\\/");
  if (cut == std::string::npos) {
    require(request.folder.empty() && request.name_pattern == unquoted,
            "a pattern without a separator is not in the current folder");
    return;
  }
  require(request.name_pattern == unquoted.substr(cut + 1), "wrong name pattern");
  require(request.folder == unquoted.substr(0, cut == 0 ? 1 : cut), "wrong folder");
}

const char kNameAlphabet[] = {'a', 'A', 'b', '.', '*', '?', '"', '\\', '\xc9', '\xe9'};
const char kLineAlphabet[] = {' ', '\t', '\n', '"', '*', '?', 'a', 'A', '.', '\\', '>'};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const bool narrow = input.ConsumeBool();
  std::string name = input.ConsumeRandomLengthString(48);
  std::string line = input.ConsumeRemainingBytesAsString();
  if (narrow) {
    quillmend_fuzz::narrow(name, kNameAlphabet, sizeof(kNameAlphabet));
    quillmend_fuzz::narrow(line, kLineAlphabet, sizeof(kLineAlphabet));
  }
  check_tokens(line);
  check_listing_split(line);
  std::size_t position = 0;
  std::string token;
  while (quillmend::next_token(line, position, token)) {
    check_normalize(token);
    const std::string pattern = token.substr(0, 48);
    require(quillmend::wildcard_match(pattern, name) == reference_match(pattern, name),
            "wildcard_match differs from the reference");
  }
  return 0;
}
