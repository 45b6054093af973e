// The search and the streaming replacement checked against a plain
// position-by-position search, on inputs made to be hard for a search that
// looks for one byte first (small alphabets, near misses, the sought byte at
// every place in the find text, both cases of letters) and for one that
// shifts by what it has learnt of the find text (periodic and long find
// texts, occurrences that overlap, every short text of two letters).
#include "engine/text_matcher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/ascii.h"
#include "engine/stream_replace.h"
#include "tests/fake_platform.h"
#include "tests/reference_replace.h"

namespace quillmend {
namespace {

using quillmend_test::reference_matches;
using quillmend_test::reference_replace;

std::vector<std::size_t> matches_of(const text_matcher& matcher, const std::string& data,
                                    std::size_t& end) {
  std::vector<std::size_t> found;
  end = matcher.for_each_match(data.data(), data.size(),
                               [&](std::size_t at) { found.push_back(at); });
  return found;
}

// Checks the offsets and the returned end against the reference.
void expect_reference_matches(const std::string& find, const std::string& data,
                              bool ignore_case) {
  const text_matcher matcher(find, ignore_case);
  std::size_t end = 0;
  const std::vector<std::size_t> found = matches_of(matcher, data, end);
  const std::vector<std::size_t> expected = reference_matches(data, find, ignore_case);
  ASSERT_EQ(found, expected) << "find '" << find.substr(0, 60) << "' (" << find.size()
                             << " bytes) in '" << data.substr(0, 60) << "' ("
                             << data.size() << " bytes) ignore_case " << ignore_case;
  EXPECT_EQ(end, expected.empty() ? 0 : expected.back() + find.size());
}

std::string flip_cases(std::mt19937& random, std::string text) {
  for (char& c : text)
    if (random() % 2 == 0) c = random() % 2 == 0 ? to_upper_ascii(c) : to_lower_ascii(c);
  return text;
}

std::string random_text(std::mt19937& random, const std::string& alphabet,
                        std::size_t size) {
  std::string text(size, ' ');
  for (char& c : text) c = alphabet[random() % alphabet.size()];
  return text;
}

// Find texts whose rarest byte (x, X, 0xE9, the dot, the zero byte) stands
// first, last, in the middle or twice, or which have none at all.
const char* const kFinds[] = {"x",
                              "ax",
                              "xa",
                              "axa",
                              "aax",
                              "xaa",
                              "a.a",
                              "A.a",
                              "xAx",
                              "Xx",
                              "aaaa",
                              "ab",
                              "ba",
                              "aab",
                              "X",
                              "x.x",
                              ".",
                              "a\xe9",
                              "\xe9"
                              "a"};
const char kAlphabet[] = "aAbBxX.\xe9";

TEST(TextMatcherTest, FindsWhatAPlainSearchFinds) {
  std::mt19937 random(20240611);
  for (const char* find_text : kFinds) {
    for (bool ignore_case : {false, true}) {
      for (int round = 0; round < 200; ++round) {
        const std::string data = random_text(random, kAlphabet, random() % 60);
        ASSERT_NO_FATAL_FAILURE(expect_reference_matches(find_text, data, ignore_case));
      }
    }
  }
}

// Only A-Z and a-z fold; the bytes just outside either range, and bytes
// above 0x7f that differ by 32 or by 0x80 from a letter, match only
// themselves.
TEST(TextMatcherTest, FoldsOnlyAsciiLetters) {
  const struct {
    std::string find, data;
    bool ignore_case;
    std::string expected;  // with every occurrence replaced by "X"
  } cases[] = {
      {"zone", "ZONE Zone zone", true, "X X X"},
      {"ZONE", "ZONE Zone zone", true, "X X X"},
      {"zone", "ZONE Zone zone", false, "ZONE Zone X"},
      {"z", "zZ", true, "XX"},
      {"Z", "zZ", true, "XX"},
      {"a", "aA", true, "XX"},
      {"A", "aA", true, "XX"},
      {"Z", "zZ", false, "zX"},
      {"HeLLo", "hello", true, "X"},
      {"HeLLo", "hello", false, "hello"},
      {"hell", "hello", true, "Xo"},
      {"@", "@`", true, "X`"},
      {"`", "@`", true, "@X"},
      {"[", "[{", true, "X{"},
      {"{", "[{", true, "[X"},
      {"\xe9", "\xe9\xc9", true, "X\xc9"},
      {"\xc9", "\xe9\xc9", true, "\xe9X"},
      {"\xda", "\xfa\xdaZ", true, "\xfaXZ"},  // 'Z' + 0x80, 'z' + 0x80
      {"\xd1", "\xf1\xd1Q", true, "\xf1XQ"},  // 'Q' + 0x80, 'q' + 0x80
      {"quiz@[x]", "QUIZ`{X} QuIz@[x]", true, "QUIZ`{X} X"},
      // The second byte is compared rather than looked for, and in the
      // long one a whole eight bytes at once.
      {"@@", "@` @@", true, "@` X"},
      {"``", "`@ ``", true, "`@ X"},
      {"[[", "[{ [[", true, "[{ X"},
      {"{{", "{[ {{", true, "{[ X"},
      {"\xe9\xe9", "\xe9\xc9 \xe9\xe9", true, "\xe9\xc9 X"},
      {"@@@@@@@@@@@@", "@@@@@@`@@@@@ @@@@@@@@@@@@", true, "@@@@@@`@@@@@ X"},
      {"zzzzzzzzzzzz", "zzzzzZzzzzzz zzzzzzzzzzz{", true, "X zzzzzzzzzzz{"},
  };
  for (const auto& c : cases) {
    const text_matcher matcher(c.find, c.ignore_case);
    EXPECT_EQ(reference_replace(c.data, c.find, "X", c.ignore_case), c.expected)
        << "the reference, find '" << c.find << "' in '" << c.data << "'";
    std::string replaced;
    std::size_t copied = 0;
    matcher.for_each_match(c.data.data(), c.data.size(), [&](std::size_t at) {
      replaced.append(c.data, copied, at - copied);
      replaced += 'X';
      copied = at + c.find.size();
    });
    replaced.append(c.data, copied, std::string::npos);
    EXPECT_EQ(replaced, c.expected)
        << "find '" << c.find << "' in '" << c.data << "' ignore_case " << c.ignore_case;
  }
}

// Every find text of one to nine letters a and b, in texts made of its own
// copies, copies with one byte changed, and random letters: this meets each
// way a find text can repeat itself.
TEST(TextMatcherTest, EveryShortTextOfTwoLetters) {
  std::mt19937 random(99);
  for (std::size_t length = 1; length <= 9; ++length) {
    for (unsigned bits = 0; bits < (1u << length); ++bits) {
      std::string find;
      for (std::size_t i = 0; i < length; ++i) find += (bits >> i) & 1 ? 'b' : 'a';
      std::string data;
      while (data.size() < 80) {
        std::string piece = random() % 3 == 0
                                ? random_text(random, "ab", 1 + random() % 4)
                                : find.substr(random() % length);
        if (random() % 3 == 0) piece[random() % piece.size()] ^= 'a' ^ 'b';
        data += piece;
      }
      for (bool ignore_case : {false, true}) {
        const std::string f = ignore_case ? flip_cases(random, find) : find;
        const std::string d = ignore_case ? flip_cases(random, data) : data;
        ASSERT_NO_FATAL_FAILURE(expect_reference_matches(f, d, ignore_case));
      }
    }
  }
}

TEST(TextMatcherTest, HandlesZeroBytesAndTextsLongerThanTheData) {
  const struct {
    std::string find, data;
    std::vector<std::size_t> expected;
  } cases[] = {
      {std::string("a\0", 2), std::string("a\0a\0\0a", 6), {0, 2}},
      {std::string("\0", 1), std::string("x\0\0", 3), {1, 2}},
      {"example", "exampl", {}},
      {"old.example.com", "old.example.comold.example.com", {0, 15}},
      {"old.example.com", "old.exampleXcom old.examplx.com", {}},
  };
  for (const auto& c : cases) {
    const text_matcher matcher(c.find, false);
    std::vector<std::size_t> found;
    matcher.for_each_match(c.data.data(), c.data.size(),
                           [&](std::size_t at) { found.push_back(at); });
    EXPECT_EQ(found, c.expected) << c.find;
  }
}

std::string repeated(const std::string& unit, std::size_t size) {
  std::string text;
  while (text.size() < size) text += unit;
  text.resize(size);
  return text;
}

// a, ab, aba, abaab, ...: repeats itself at every scale without being
// periodic, which puts its critical factorization well inside it.
std::string fibonacci_word(std::size_t size) {
  std::string shorter = "a", longer = "ab";
  while (longer.size() < size) {
    std::string next = longer + shorter;
    shorter = std::move(longer);
    longer = std::move(next);
  }
  return longer.substr(0, size);
}

// Periodic find texts, long ones, near-periodic ones, and ones whose
// greatest suffix starts late in one order of bytes or the other.
std::vector<std::string> hard_finds() {
  const std::string letters = "abcdefghijklmnopqrstuvwxyz";
  return {"aa",
          "aaa",
          std::string(16, 'a'),
          std::string(1000, 'a'),
          repeated("ab", 7),
          repeated("ab", 1000),
          repeated("aab", 301),
          repeated("abc", 90) + "abd",
          "zyzyzx",
          repeated("ba", 9) + "a",
          fibonacci_word(13),
          fibonacci_word(610),
          repeated(letters, 1000) + "z",
          std::string(999, 'a') + "b",
          "b" + std::string(999, 'a'),
          std::string(500, 'a') + "b" + std::string(499, 'a'),
          repeated("old.example.com", 1024)};
}

// Pieces of the find text written twice over (so rotations of it, and
// overlapping copies of a periodic one), now and then with one byte
// changed, and whole copies of it.
std::string near_misses(std::mt19937& random, const std::string& find, std::size_t size) {
  const std::string twice = find + find;
  std::string data;
  while (data.size() < size) {
    if (random() % 4 == 0) {
      data += find;
      continue;
    }
    const std::size_t start = random() % find.size();
    std::string piece = twice.substr(start, 1 + random() % find.size());
    if (random() % 2 == 0) {
      char& c = piece[random() % piece.size()];
      c = c == 'a' ? 'b' : 'a';
    }
    data += piece;
  }
  return data;
}

TEST(TextMatcherTest, PeriodicAndLongFindTexts) {
  std::mt19937 random(31337);
  for (const std::string& find : hard_finds()) {
    for (bool ignore_case : {false, true}) {
      for (int round = 0; round < 20; ++round) {
        const std::string data = near_misses(random, find, 3 * find.size() + 40);
        const std::string f = ignore_case ? flip_cases(random, find) : find;
        const std::string d = ignore_case ? flip_cases(random, data) : data;
        ASSERT_NO_FATAL_FAILURE(expect_reference_matches(f, d, ignore_case));
      }
    }
  }
}

// Where the find text's rarest byte turns up at every other place, the
// search stops looking for it for a while and then takes it up again: the
// occurrences before, during and after must all be found.
TEST(TextMatcherTest, AnchorByteAtNearlyEveryPlaceAndThenRarely) {
  const std::string find = repeated("ab", 16) + "c";
  std::string data;
  for (int part = 0; part < 6; ++part) {
    data += repeated("ab", 20000 + 999 * part) + find + "ab" + find;
    data += repeated("the quick fox; ", 3000) + find + "xx" + find;
  }
  for (bool ignore_case : {false, true}) {
    ASSERT_NO_FATAL_FAILURE(expect_reference_matches(find, data, ignore_case));
  }
}

// Long unchanged runs, runs of close occurrences and occurrences across
// block boundaries, in one input.
std::string mixed_input(std::mt19937& random) {
  std::string input;
  for (int part = 0; part < 12; ++part) {
    const std::size_t size = random() % 3 == 0 ? 1000 + random() % 3000 : random() % 40;
    input += random_text(random, part % 2 == 0 ? "bcd \n" : kAlphabet, size);
  }
  return input;
}

TEST(StreamReplaceTest, AgreesWithAPlainReplaceAcrossBlocksAndReads) {
  std::mt19937 random(7);
  const std::string replaces[] = {"", "R", "<replacement that is longer>"};
  for (const char* find_text : kFinds) {
    for (bool ignore_case : {false, true}) {
      const std::string input = mixed_input(random);
      const std::string& replace = replaces[random() % 3];
      const std::string expected =
          reference_replace(input, find_text, replace, ignore_case);
      for (std::size_t block : {std::size_t{1}, std::size_t{3}, std::size_t{100},
                                std::size_t{5000}, kDefaultReplaceBlock}) {
        fake_platform os;
        os.read_chunk = 1 + random() % 700;
        status result;
        EXPECT_EQ(
            replace_through(os, input, find_text, replace, ignore_case, block, result),
            expected)
            << "find '" << find_text << "' block " << block << " ignore_case "
            << ignore_case;
        EXPECT_TRUE(result.is_ok());
      }
    }
  }
}

// Occurrences and near misses of hard find texts straddle the ends of
// blocks of every size from one byte up, and blocks one byte shorter or
// longer than the find text.
TEST(StreamReplaceTest, PeriodicAndLongFindTextsAcrossBlocks) {
  std::mt19937 random(4242);
  for (const std::string& find : hard_finds()) {
    for (bool ignore_case : {false, true}) {
      const std::string input = near_misses(random, find, 2 * find.size() + 30);
      const std::string f = ignore_case ? flip_cases(random, find) : find;
      const std::string d = ignore_case ? flip_cases(random, input) : input;
      const std::string expected = reference_replace(d, f, "<R>", ignore_case);
      std::vector<std::size_t> blocks = {find.size() - 1, find.size(), find.size() + 1,
                                         2 * find.size() + 1, kDefaultReplaceBlock};
      for (std::size_t block = 1; block <= 12; ++block) blocks.push_back(block);
      for (std::size_t block : blocks) {
        if (block == 0) continue;
        fake_platform os;
        os.read_chunk = 1 + random() % 50;
        status result;
        EXPECT_EQ(replace_through(os, d, f, "<R>", ignore_case, block, result), expected)
            << "find '" << f.substr(0, 40) << "' (" << f.size() << " bytes) block "
            << block << " ignore_case " << ignore_case;
        EXPECT_TRUE(result.is_ok());
      }
    }
  }
}

TEST(StreamReplaceTest, ReportsAWriteErrorWhereverItHappens) {
  // Dense occurrences fill the gathered output several times over, and the
  // long runs are written on their own: every write is one that can fail.
  std::string input;
  for (int i = 0; i < 3000; ++i) input += "ab<>cd";
  input += std::string(5000, 'z') + "<>" + std::string(100, 'y');
  fake_platform counting;
  status result;
  replace_through(counting, input, "<>", "[]", false, kDefaultReplaceBlock, result);
  ASSERT_TRUE(result.is_ok());
  const int writes = counting.calls["write"];
  ASSERT_GT(writes, 2);
  for (int nth = 1; nth <= writes; ++nth) {
    fake_platform os;
    os.fail_call("write", nth);
    replace_through(os, input, "<>", "[]", false, kDefaultReplaceBlock, result);
    EXPECT_FALSE(result.is_ok()) << "write " << nth << " of " << writes;
  }
}

}  // namespace
}  // namespace quillmend
