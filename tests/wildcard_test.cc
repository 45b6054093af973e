#include "platform/wildcard.h"

#include <gtest/gtest.h>

namespace quillmend {
namespace {

TEST(WildcardTest, MatchesNames) {
  const struct {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"*.htm", "index.htm", true},
      {"*.htm", "Index.HTM", true},
      {"*.htm", "x.html", false},
      {"*.htm", ".htm", true},
      {"*.htm", "a.htm.htm", true},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"*", "anything", true},
      {"*", "", true},
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY", false},
      {"**x", "abx", true},
      {"exact.txt", "EXACT.TXT", true},
      {"exact.txt", "exact.txt2", false},
      {"\xe9*", "\xc9t\xe9", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(wildcard_match(c.pattern, c.name), c.matches)
        << c.pattern << " vs " << c.name;
}

TEST(WildcardTest, SplitsListingPatterns) {
  const struct {
    const char* path_pattern;
    const char* folder;
    const char* name_pattern;
  } cases[] = {
      {"src\\*.htm", "src", "*.htm"},
      {"src\\\"*.htm\"", "src", "*.htm"},
      {"\"a b\\c d.txt\"", "a b", "c d.txt"},
      {"c:\\site\\src\\*", "c:\\site\\src", "*"},
      {"\\*.htm", "\\", "*.htm"},
      {"*.htm", "", "*.htm"},
      // A slash separates folders too.
      {"src\\sub/*.htm", "src\\sub", "*.htm"},
      {"src/*.htm", "src", "*.htm"},
  };
  for (const auto& c : cases) {
    const listing_request request = split_listing_pattern(c.path_pattern);
    EXPECT_EQ(request.folder, c.folder) << c.path_pattern;
    EXPECT_EQ(request.name_pattern, c.name_pattern) << c.path_pattern;
  }
}

}  // namespace
}  // namespace quillmend
