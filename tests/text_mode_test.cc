#include "platform/text_mode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace quillmend {
namespace {

// Hands out the given pieces, one per read (cut short when the reader asks
// for less), then the end of input or an error.
class piece_input : public input_file {
 public:
  piece_input(std::vector<std::string> pieces, bool fail_at_end)
      : pieces_(std::move(pieces)), fail_at_end_(fail_at_end) {}

  status read(char* buffer, std::size_t size, std::size_t& count) override {
    count = 0;
    if (next_ == pieces_.size())
      return fail_at_end_ ? status::failed("device error") : status::ok();
    std::string& piece = pieces_[next_];
    count = std::min(size, piece.size());
    piece.copy(buffer, count);
    piece.erase(0, count);
    if (piece.empty()) ++next_;
    return status::ok();
  }

 private:
  std::vector<std::string> pieces_;
  std::size_t next_ = 0;
  bool fail_at_end_;
};

// Reads everything with reads of `read_size` bytes.
status read_all(input_file& in, std::size_t read_size, std::string& text) {
  std::vector<char> buffer(read_size);
  for (;;) {
    std::size_t count = 0;
    status result = in.read(buffer.data(), read_size, count);
    if (!result.is_ok()) return result;
    if (count == 0) return status::ok();
    EXPECT_LE(count, read_size);
    text.append(buffer.data(), count);
  }
}

TEST(CrlfInputTest, DeliversCrLfAsLfWhereverTheReadsMeet) {
  const struct {
    std::vector<std::string> pieces;
    std::string expected;
  } cases[] = {
      {{"a\r\nb\r\n"}, "a\nb\n"},
      {{"a\r", "\nb"}, "a\nb"},
      {{"a\r", "\r\n"}, "a\r\n"},
      {{"\r", "\r", "\r", "\n"}, "\r\r\n"},
      {{"a\r", "b"}, "a\rb"},
      {{"a\r"}, "a\r"},
      {{"\n\r\r\n\n"}, "\n\r\n\n"},
      {{"\r\n\r\n"}, "\n\n"},
      {{"x\x1ay\r\n\x1a"}, "x\x1ay\n\x1a"},
      {{std::string("a\0\r\nb", 5)}, std::string("a\0\nb", 4)},
      {{}, ""},
  };
  for (const auto& c : cases) {
    // Small buffers and small reads put the seams everywhere.
    for (std::size_t buffer_size : {1, 2, 3, 64 * 1024})
      for (std::size_t read_size : {1, 2, 5, 4096}) {
        crlf_input in(std::make_unique<piece_input>(c.pieces, false), buffer_size);
        std::string text;
        ASSERT_TRUE(read_all(in, read_size, text).is_ok());
        EXPECT_EQ(text, c.expected) << "buffer " << buffer_size << ", reads of "
                                    << read_size << ", pieces " << c.pieces.size();
      }
  }
}

TEST(CrlfInputTest, PassesReadErrorsOn) {
  for (const std::vector<std::string>& pieces :
       {std::vector<std::string>{}, {"a\r\nb"}, {"held\r"}}) {
    crlf_input in(std::make_unique<piece_input>(pieces, true));
    std::string text;
    const status result = read_all(in, 100, text);
    EXPECT_FALSE(result.is_ok()) << text;
    EXPECT_EQ(result.reason(), "device error");
  }
}

// Records what reaches it; fails the nth write or the commit on demand.
class recording_output : public replacement_file {
 public:
  recording_output(std::string& stored, int failing_write, bool fail_commit)
      : stored_(stored), failing_write_(failing_write), fail_commit_(fail_commit) {}

  status write(const char* data, std::size_t size) override {
    if (++writes_ == failing_write_) return status::failed("disk full");
    stored_.append(data, size);
    return status::ok();
  }
  status commit() override {
    return fail_commit_ ? status::failed("rename refused") : status::ok();
  }

 private:
  std::string& stored_;
  int writes_ = 0;
  int failing_write_;
  bool fail_commit_;
};

TEST(CrlfOutputTest, StoresEachLfAsCrLf) {
  const struct {
    std::vector<std::string> writes;
    const char* expected;
  } cases[] = {
      {{"a\nb\n"}, "a\r\nb\r\n"}, {{"\n", "\n"}, "\r\n\r\n"}, {{"a\r", "\n"}, "a\r\r\n"},
      {{"lone\rcr"}, "lone\rcr"}, {{"\x1a\n"}, "\x1a\r\n"},   {{"", "x"}, "x"},
  };
  for (const auto& c : cases) {
    std::string stored;
    crlf_output out(std::make_unique<recording_output>(stored, 0, false));
    for (const std::string& piece : c.writes)
      ASSERT_TRUE(out.write(piece.data(), piece.size()).is_ok());
    EXPECT_TRUE(out.commit().is_ok());
    EXPECT_EQ(stored, c.expected) << c.writes[0];
  }
}

TEST(CrlfOutputTest, PassesWriteAndCommitErrorsOn) {
  for (int failing_write : {1, 2, 3}) {
    std::string stored;
    crlf_output out(std::make_unique<recording_output>(stored, failing_write, false));
    const status result = out.write("a\nb", 3);  // "a", "\r\n", "b"
    EXPECT_EQ(result.reason(), "disk full") << failing_write;
  }
  std::string stored;
  crlf_output out(std::make_unique<recording_output>(stored, 0, true));
  ASSERT_TRUE(out.write("a\n", 2).is_ok());
  EXPECT_EQ(out.commit().reason(), "rename refused");
}

}  // namespace
}  // namespace quillmend
