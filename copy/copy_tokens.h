// Splitting a copy line into tokens, and reducing a pattern to the literal
// text that renaming replaces.
//
// A token runs to a space or tab outside double quotes, or to the end of the
// line. Quotes flip a quote state and stay part of the token, so "a b.txt"
// (quotes included) is one token. An unbalanced quote runs to the line's end.
#ifndef QUILLMEND_COPY_COPY_TOKENS_H_
#define QUILLMEND_COPY_COPY_TOKENS_H_

#include <cstddef>
#include <string>

namespace quillmend {

// Stores the next token of `line` from `position` in `token` and returns
// true; returns false, with `token` empty, when only blanks are left. On
// return `position` indexes the character that ended the token.
bool next_token(const std::string& line, std::size_t& position, std::string& token);

// The pattern's literal part: when the pattern, without its quotes, begins
// or ends with '*', the quotes and one outer star at each such end go
// ("*.htm" -> ".htm", "\"*.htm\"" -> ".htm", "*x*" -> "x", "**" -> "").
// Otherwise the pattern stays as written, quotes included; so does a
// pattern of one character, such as "*".
void normalize_pattern(std::string& pattern);

}  // namespace quillmend

#endif  // QUILLMEND_COPY_COPY_TOKENS_H_
