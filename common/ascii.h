// ASCII letter case, the only case folding the tool knows: A-Z and a-z fold
// onto each other, every other byte (0x80 and up included) is only itself.
// Shared by the replacement's ignore-case search, the listing's name
// matching and the tests' references, so that all of them agree on it.
#ifndef QUILLMEND_COMMON_ASCII_H_
#define QUILLMEND_COMMON_ASCII_H_

namespace quillmend {

constexpr char to_lower_ascii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char to_upper_ascii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace quillmend

#endif  // QUILLMEND_COMMON_ASCII_H_
