#include "common/script_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/text_mode.h"
#include "tests/fake_platform.h"

namespace quillmend {
namespace {

using namespace std::string_literals;

// Hands out `bytes` cut at the given offsets, one piece per read (cut
// shorter when the reader asks for less), then the end of input or an error.
class cut_input : public input_file {
 public:
  cut_input(std::string bytes, std::vector<std::size_t> cuts, bool fail_at_end = false)
      : bytes_(std::move(bytes)), cuts_(std::move(cuts)), fail_at_end_(fail_at_end) {}

  status read(char* buffer, std::size_t size, std::size_t& count) override {
    count = 0;
    if (at_ == bytes_.size())
      return fail_at_end_ ? status::failed("device error") : status::ok();
    std::size_t end = bytes_.size();
    for (const std::size_t cut : cuts_)
      if (cut > at_) end = std::min(end, cut);
    count = std::min(size, end - at_);
    bytes_.copy(buffer, count, at_);
    at_ += count;
    return status::ok();
  }

 private:
  std::string bytes_;
  std::vector<std::size_t> cuts_;
  bool fail_at_end_;
  std::size_t at_ = 0;
};

// Reads everything with reads of at most `read_size` bytes.
status read_all(input_file& in, std::size_t read_size, std::string& text) {
  std::vector<char> buffer(read_size);
  for (;;) {
    std::size_t count = 0;
    status result = in.read(buffer.data(), buffer.size(), count);
    text.append(buffer.data(), count);
    if (!result.is_ok()) return result;
    if (count == 0) return status::ok();
  }
}

struct text_case {
  const char* what;
  std::string raw;
  script_encoding encoding;
  std::string text;
};

const text_case kCases[] = {
    {"empty", "", script_encoding::unmarked, ""},
    {"no mark", "[a]\r\nb\n", script_encoding::unmarked, "[a]\r\nb\n"},
    {"ANSI bytes", "Caf\xE9\n", script_encoding::unmarked, "Caf\xE9\n"},
    {"UTF-8 mark alone", "\xEF\xBB\xBF", script_encoding::utf8, ""},
    {"UTF-8 mark", "\xEF\xBB\xBF[a]\nCaf\xC3\xA9\n", script_encoding::utf8,
     "[a]\nCaf\xC3\xA9\n"},
    {"only the first UTF-8 mark", "\xEF\xBB\xBF\xEF\xBB\xBFx", script_encoding::utf8,
     "\xEF\xBB\xBFx"},
    {"two bytes of a UTF-8 mark", "\xEF\xBB", script_encoding::unmarked, "\xEF\xBB"},
    {"a UTF-8 mark cut short", "\xEF\xBBx\n", script_encoding::unmarked, "\xEF\xBBx\n"},
    {"a UTF-8 mark later on", "a\xEF\xBB\xBF", script_encoding::unmarked,
     "a\xEF\xBB\xBF"},
    {"UTF-16 BE is not recognised", "\xFE\xFF\0a"s, script_encoding::unmarked,
     "\xFE\xFF\0a"s},
    {"a lone FF", "\xFF", script_encoding::unmarked, "\xFF"},
    {"final 0x1A", "a\n\x1A", script_encoding::unmarked, "a\n"},
    {"0x1A alone", "\x1A", script_encoding::unmarked, ""},
    {"only the last of two 0x1A", "a\x1A\x1A", script_encoding::unmarked, "a\x1A"},
    {"0x1A inside", "a\x1A\nb", script_encoding::unmarked, "a\x1A\nb"},
    {"0x1A first", "\x1A\n", script_encoding::unmarked, "\x1A\n"},
    {"UTF-8 mark and a final 0x1A", "\xEF\xBB\xBF\x1A", script_encoding::utf8, ""},
    {"UTF-8 mark, lines and a final 0x1A", "\xEF\xBB\xBFx\r\n\x1A", script_encoding::utf8,
     "x\r\n"},
    {"UTF-16 mark alone", "\xFF\xFE", script_encoding::utf16le, ""},
    {"UTF-16 ASCII", "\xFF\xFE[\0a\0]\0\r\0\n\0"s, script_encoding::utf16le, "[a]\r\n"},
    {"UTF-16 two-byte character", "\xFF\xFE\xE9\0"s, script_encoding::utf16le,
     "\xC3\xA9"},
    {"UTF-16 three-byte character", "\xFF\xFE\xAC\x20", script_encoding::utf16le,
     "\xE2\x82\xAC"},
    {"UTF-16 bytes 0D 0A inside characters", "\xFF\xFE\x20\x0D\x0A\0"s,
     script_encoding::utf16le, "\xE0\xB4\xA0\n"},
    {"UTF-16 NUL", "\xFF\xFE\0\0"s, script_encoding::utf16le, "\0"s},
    {"UTF-16 surrogate pair", "\xFF\xFE\x34\xD8\x1E\xDD", script_encoding::utf16le,
     "\xF0\x9D\x84\x9E"},
    {"UTF-16 highest character", "\xFF\xFE\xFF\xDB\xFF\xDF", script_encoding::utf16le,
     "\xF4\x8F\xBF\xBF"},
    {"UTF-16 high surrogate at the end",
     "\xFF\xFE"
     "a\0\x34\xD8"s,
     script_encoding::utf16le, "a\xEF\xBF\xBD"},
    {"UTF-16 high surrogate before a letter",
     "\xFF\xFE\x34\xD8"
     "b\0"s,
     script_encoding::utf16le,
     "\xEF\xBF\xBD"
     "b"},
    {"UTF-16 two high surrogates, then a low one", "\xFF\xFE\x34\xD8\x34\xD8\x1E\xDD",
     script_encoding::utf16le, "\xEF\xBF\xBD\xF0\x9D\x84\x9E"},
    {"UTF-16 low surrogate alone",
     "\xFF\xFE\x1E\xDD"
     "c\0"s,
     script_encoding::utf16le,
     "\xEF\xBF\xBD"
     "c"},
    {"UTF-16 high surrogate then an odd byte", "\xFF\xFE\x34\xD8z",
     script_encoding::utf16le, "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"UTF-16 odd last byte",
     "\xFF\xFE"
     "a\0b"s,
     script_encoding::utf16le, "a\xEF\xBF\xBD"},
    {"UTF-16 odd final 0x1A",
     "\xFF\xFE"
     "a\0\n\0\x1A"s,
     script_encoding::utf16le, "a\n"},
    {"UTF-16 U+001A stays",
     "\xFF\xFE"
     "a\0\x1A\0"s,
     script_encoding::utf16le, "a\x1A"},
    {"UTF-16 mark then a UTF-16 mark", "\xFF\xFE\xFF\xFE", script_encoding::utf16le,
     "\xEF\xBB\xBF"},
};

TEST(ScriptText, ReadsEveryKindTheSameWhereverTheReadsAreCut) {
  for (const text_case& c : kCases) {
    SCOPED_TRACE(c.what);
    // No cut, every single cut, and one byte per read.
    std::vector<std::vector<std::size_t>> cut_sets = {{}};
    std::vector<std::size_t> every_byte;
    for (std::size_t at = 1; at < c.raw.size(); ++at) {
      cut_sets.push_back({at});
      every_byte.push_back(at);
    }
    cut_sets.push_back(every_byte);
    for (const std::vector<std::size_t>& cuts : cut_sets) {
      for (const std::size_t read_size : {1u, 2u, 3u, 5u, 4096u}) {
        script_text in(std::make_unique<cut_input>(c.raw, cuts));
        EXPECT_EQ(in.encoding(), c.encoding);
        std::string text;
        ASSERT_TRUE(read_all(in, read_size, text).is_ok());
        EXPECT_EQ(text, c.text)
            << "cuts " << ::testing::PrintToString(cuts) << ", reads of " << read_size;
      }
    }
  }
}

TEST(ScriptText, AskedFirstForBytesItStillFindsTheMark) {
  script_text in(
      std::make_unique<cut_input>("\xEF\xBB\xBFx", std::vector<std::size_t>{1}));
  std::string text;
  ASSERT_TRUE(read_all(in, 1, text).is_ok());
  EXPECT_EQ(text, "x");
  EXPECT_EQ(in.encoding(), script_encoding::utf8);
}

TEST(ScriptText, ReadErrorsReachTheReaderAfterTheBytesBeforeThem) {
  for (const std::string& raw : {"ab"s, "a\x1A"s,
                                 "\xEF\xBB\xBF"
                                 "a"s,
                                 "\xFF\xFE"
                                 "a\0"s,
                                 "\xFF\xFE"
                                 "a\0\x34\xD8"s,
                                 "\xFF\xFE"
                                 "a\0b"s,
                                 ""s}) {
    SCOPED_TRACE(::testing::PrintToString(raw));
    script_text in(std::make_unique<cut_input>(raw, std::vector<std::size_t>{1}, true));
    in.encoding();
    std::string text;
    const status result = read_all(in, 4096, text);
    EXPECT_FALSE(result.is_ok());
    EXPECT_EQ(result.reason(), "device error");
    // What came before the error is handed out; a 0x1A or half a character
    // just before it is not taken for the end of the file.
    EXPECT_EQ(text.substr(0, 1), raw.empty() ? "" : "a");
  }
}

// Records how the tool was told to read names, and reads text files the
// way Windows does, CR LF as LF, so that a UTF-16 script read in text mode
// shows.
class recording_platform : public fake_platform {
 public:
  std::vector<name_encoding> encodings;
  std::vector<open_mode> modes;

  void set_name_encoding(name_encoding encoding) override {
    encodings.push_back(encoding);
  }
  opened<input_file> open_input(const std::string& path, open_mode mode) override {
    modes.push_back(mode);
    opened<input_file> raw = fake_platform::open_input(path, mode);
    if (!raw.result.is_ok() || mode == open_mode::binary) return raw;
    return {std::make_unique<crlf_input>(std::move(raw.file)), status::ok()};
  }
};

TEST(OpenScript, TellsThePlatformHowNamesAreEncoded) {
  const struct {
    std::string raw;
    name_encoding encoding;
    std::vector<open_mode> modes;
    std::string text;
  } cases[] = {
      {"a\r\nb", name_encoding::native, {open_mode::text}, "a\nb"},
      {"\xEF\xBB\xBF"
       "a\r\n",
       name_encoding::utf8,
       {open_mode::text},
       "a\n"},
      // U+0D20 then a line feed: bytes 20 0D 0A 00, which text mode would
      // turn into 20 0A 00.
      {"\xFF\xFE\x20\x0D\x0A\0\r\0\n\0"s,
       name_encoding::utf8,
       {open_mode::text, open_mode::binary},
       "\xE0\xB4\xA0\n\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.raw));
    recording_platform os;
    os.add_file("script.txt", c.raw);
    opened<input_file> script = open_script(os, "script.txt");
    ASSERT_TRUE(script.result.is_ok());
    EXPECT_EQ(os.encodings, std::vector<name_encoding>{c.encoding});
    EXPECT_EQ(os.modes, c.modes);
    std::string text;
    ASSERT_TRUE(read_all(*script.file, 4096, text).is_ok());
    EXPECT_EQ(text, c.text);
  }
}

TEST(OpenScript, AMissingScriptIsReportedAndChangesNothing) {
  recording_platform os;
  opened<input_file> script = open_script(os, "missing.txt");
  EXPECT_EQ(script.file, nullptr);
  EXPECT_TRUE(script.result.is_not_found());
  EXPECT_TRUE(os.encodings.empty());
}

}  // namespace
}  // namespace quillmend
