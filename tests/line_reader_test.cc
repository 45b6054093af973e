#include "common/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fake_platform.h"

namespace quillmend {
namespace {

std::vector<std::string> read_all(const std::string& content, std::size_t chunk) {
  fake_platform os;
  os.read_chunk = chunk;
  os.add_file("f", content);
  line_reader reader(os.open_input("f").file);
  std::vector<std::string> lines;
  std::string line;
  while (reader.read_line(line)) lines.push_back(line);
  EXPECT_FALSE(reader.read_line(line)) << "a reader at its end stays there";
  EXPECT_FALSE(reader.failed());
  return lines;
}

TEST(LineReaderTest, SplitsLines) {
  using lines = std::vector<std::string>;
  const std::string long_line(200000, 'x');
  const struct {
    std::string content;
    lines expected;
  } cases[] = {
      {"", {}},
      {"a\nb\n", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},
      {"last without feed", {"last without feed"}},
      {"\n\n", {"", ""}},
      {"\r\n", {""}},
      {"in\rside\n", {"in\rside"}},
      {std::string("nul\0and\x1a"
                   "sub\n",
                   12),
       {std::string("nul\0and\x1a"
                    "sub",
                    11)}},
      {long_line + "\n" + long_line, {long_line, long_line}},
  };
  for (const auto& c : cases) {
    for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{1} << 20}) {
      EXPECT_EQ(read_all(c.content, chunk), c.expected)
          << "content size " << c.content.size() << ", chunk " << chunk;
    }
  }
}

TEST(LineReaderTest, ReportsReadErrors) {
  fake_platform os;
  os.add_file("f", "a\nb\n");
  os.read_chunk = 2;
  line_reader reader(os.open_input("f").file);
  std::string line;
  ASSERT_TRUE(reader.read_line(line));
  os.fail_call("read", 1);
  EXPECT_FALSE(reader.read_line(line));
  EXPECT_TRUE(reader.failed());
}

}  // namespace
}  // namespace quillmend
