// The search and the streaming replacement checked against a plain
// position-by-position search, on inputs made to be hard for a search that
// looks for one byte first: small alphabets, near misses, the sought byte at
// every place in the find text, both cases of letters.
#include "engine/text_matcher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/stream_replace.h"
#include "tests/fake_platform.h"

namespace quillmend {
namespace {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool equal_at(const std::string& data, std::size_t at, const std::string& find,
              bool ignore_case) {
  for (std::size_t i = 0; i < find.size(); ++i) {
    const char a = data[at + i], b = find[i];
    if (ignore_case ? fold(a) != fold(b) : a != b) return false;
  }
  return true;
}

std::vector<std::size_t> plain_matches(const std::string& data, const std::string& find,
                                       bool ignore_case) {
  std::vector<std::size_t> found;
  for (std::size_t at = 0; at + find.size() <= data.size();) {
    if (equal_at(data, at, find, ignore_case)) {
      found.push_back(at);
      at += find.size();
    } else {
      ++at;
    }
  }
  return found;
}

std::string plain_replace(const std::string& data, const std::string& find,
                          const std::string& replace, bool ignore_case) {
  std::string out;
  std::size_t copied = 0;
  for (std::size_t at : plain_matches(data, find, ignore_case)) {
    out.append(data, copied, at - copied);
    out += replace;
    copied = at + find.size();
  }
  out.append(data, copied, std::string::npos);
  return out;
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
    const std::string find = find_text;
    for (bool ignore_case : {false, true}) {
      const text_matcher matcher(find, ignore_case);
      for (int round = 0; round < 200; ++round) {
        const std::string data = random_text(random, kAlphabet, random() % 60);
        std::vector<std::size_t> found;
        const std::size_t end = matcher.for_each_match(
            data.data(), data.size(), [&](std::size_t at) { found.push_back(at); });
        const std::vector<std::size_t> expected = plain_matches(data, find, ignore_case);
        ASSERT_EQ(found, expected)
            << "find '" << find << "' in '" << data << "' ignore_case " << ignore_case;
        EXPECT_EQ(end, expected.empty() ? 0 : expected.back() + find.size());
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
      const std::string expected = plain_replace(input, find_text, replace, ignore_case);
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
