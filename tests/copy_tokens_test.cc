#include "copy/copy_tokens.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillmend {
namespace {

std::vector<std::string> tokens_of(const std::string& line) {
  std::vector<std::string> tokens;
  std::size_t position = 0;
  std::string token;
  while (next_token(line, position, token)) tokens.push_back(token);
  EXPECT_TRUE(token.empty());
  return tokens;
}

TEST(CopyTokensTest, SplitsLines) {
  using tokens = std::vector<std::string>;
  const struct {
    const char* line;
    tokens expected;
  } cases[] = {
      {"a.txt > b.txt", {"a.txt", ">", "b.txt"}},
      {"  \t a.txt \t\t >   b.txt  ", {"a.txt", ">", "b.txt"}},
      {"", {}},
      {" \t ", {}},
      {"\"a b.txt\" > c", {"\"a b.txt\"", ">", "c"}},
      {"x\"a b\"y > c", {"x\"a b\"y", ">", "c"}},
      {"\"unbalanced > rest", {"\"unbalanced > rest"}},
      {"*.htm>.html", {"*.htm>.html"}},
      {".html < *.htm", {".html", "<", "*.htm"}},
      {"a b c d", {"a", "b", "c", "d"}},
  };
  for (const auto& c : cases) EXPECT_EQ(tokens_of(c.line), c.expected) << c.line;
}

TEST(CopyTokensTest, PositionStopsAtTheTokensEnd) {
  std::size_t position = 0;
  std::string token;
  ASSERT_TRUE(next_token("ab  cd", position, token));
  EXPECT_EQ(position, 2u);
  ASSERT_TRUE(next_token("ab  cd", position, token));
  EXPECT_EQ(position, 6u);
}

TEST(CopyTokensTest, NormalizesPatterns) {
  const struct {
    const char* pattern;
    const char* expected;
  } cases[] = {
      {"*.htm", ".htm"},
      {"old*", "old"},
      {"*x*", "x"},
      {"\"*.htm\"", ".htm"},
      {"\"a b.txt\"", "\"a b.txt\""},
      {"**", ""},
      {"*", "*"},
      {"\"*\"", "\"*\""},
      {"a*b", "a*b"},
      {"*a*b*", "a*b"},
      {"plain.txt", "plain.txt"},
      {"x", "x"},
  };
  for (const auto& c : cases) {
    std::string pattern = c.pattern;
    normalize_pattern(pattern);
    EXPECT_EQ(pattern, c.expected) << c.pattern;
  }
}

}  // namespace
}  // namespace quillmend
