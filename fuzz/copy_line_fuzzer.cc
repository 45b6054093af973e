// The copy line's helpers against simple references and properties:
//   next_token: the tokens and the blanks between them make up the line
//     again, a token has blanks only inside quotes, and it ends at a blank
//     outside quotes or at the end of the line;
//   normalize_pattern: the stars it took off, put back, give the unquoted
//     pattern, and a pattern without an outer star stays as written;
//   wildcard_match: a textbook dynamic-programming matcher;
//   split_listing_pattern: folder, separator and name pattern give back the
//     unquoted pattern, and the name pattern holds no separator.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/ascii.h"
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

std::string without_quotes(const std::string& text) {
  std::string unquoted;
  for (char c : text)
    if (c != '"') unquoted += c;
  return unquoted;
}

// The literal part is the unquoted pattern less one outer star at each end
// that has one; a pattern with no outer star (or of one character) stays.
void check_normalize(const std::string& pattern) {
  std::string normalized = pattern;
  quillmend::normalize_pattern(normalized);
  const std::string unquoted = without_quotes(pattern);
  const bool has_outer_star =
      unquoted.size() >= 2 && (unquoted.front() == '*' || unquoted.back() == '*');
  if (!has_outer_star) {
    require(normalized == pattern, "a pattern without an outer star was rewritten");
    return;
  }
  require(normalized.find('"') == std::string::npos, "a rewritten pattern kept a quote");
  const std::string rewrapped = (unquoted.front() == '*' ? "*" : "") + normalized +
                                (unquoted.back() == '*' ? "*" : "");
  require(rewrapped == unquoted, "the stars put back do not give the unquoted pattern");
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
        next[j] =
            matched[j - 1] && (p == '?' || quillmend::to_lower_ascii(p) ==
                                               quillmend::to_lower_ascii(name[j - 1]));
      }
    }
    matched.swap(next);
  }
  return matched[name.size()] != 0;
}

bool is_path_separator(char c) { return c == '\\' || c == '/'; }

// Folder, separator and name pattern give back the unquoted input, and the
// name pattern holds no separator.
void check_listing_split(const std::string& path_pattern) {
  const quillmend::listing_request request =
      quillmend::split_listing_pattern(path_pattern);
  const std::string unquoted = without_quotes(path_pattern);
  const std::string& name = request.name_pattern;
  for (char c : name) require(!is_path_separator(c), "a separator in the name pattern");
  if (request.folder.empty()) {
    require(name == unquoted, "a pattern in the current folder lost characters");
    return;
  }
  // The root keeps its one separator as the folder.
  const bool root = request.folder.size() == 1 && is_path_separator(request.folder[0]);
  if (root && request.folder + name == unquoted) return;
  const std::size_t cut = request.folder.size();
  require(cut < unquoted.size() && is_path_separator(unquoted[cut]) &&
              unquoted.compare(0, cut, request.folder) == 0 &&
              unquoted.compare(cut + 1, std::string::npos, name) == 0,
          "folder, separator and name do not give back the pattern");
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
