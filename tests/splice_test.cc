#include <gtest/gtest.h>

#include <string>

#include "driver/run_script.h"
#include "splice/marked_lines.h"
#include "tests/fake_platform.h"

namespace quillmend {
namespace {

using namespace std::string_literals;

struct splice_run {
  int exit_status;
  std::string target;
  std::string out;
};

// Runs one record through the driver, so the copy-back is included.
splice_run run_record(const std::string& source, const std::string& markers_and_paths,
                      const std::string& target, std::size_t read_chunk = 1 << 20) {
  fake_platform os;
  os.read_chunk = read_chunk;
  os.add_file("s.txt", source);
  os.add_file("t.txt", target);
  os.add_file("script", "[txt_content_replace_txt]\n" + markers_and_paths);
  const char* const args[] = {"quillmend", "script"};
  const int exit_status = run_script(2, args, os);
  return {exit_status, os.files["t.txt"], os.out.str()};
}

std::string record(const std::string& source_start, const std::string& source_end,
                   const std::string& target_start, const std::string& target_end) {
  return source_start + "\n" + source_end + "\ns.txt\n" + target_start + "\n" +
         target_end + "\nt.txt\n";
}

TEST(SpliceTest, ReplacesTheMarkedBlock) {
  const std::string source = "junk\nBEGIN here\nnew 1\nnew 2\nEND\nafter\n";
  const struct {
    const char* name;
    std::string source;
    std::string markers;
    std::string target;
    std::string expected;
  } cases[] = {
      {"block replaced, marker lines kept in target", source,
       record("BEGIN", "END", "<m>", "</m>"), "head\n<m>\nold\n</m>\ntail\n",
       "head\n<m>\nnew 1\nnew 2\n</m>\ntail\n"},
      {"no start marker in target: block appended", source,
       record("BEGIN", "END", "<m>", "</m>"), "a\nb\n", "a\nb\nnew 1\nnew 2\n"},
      {"source without end marker runs to its end", "BEGIN\nx\ny",
       record("BEGIN", "END", "<m>", "</m>"), "<m>\nold\n</m>\n", "<m>\nx\ny\n</m>\n"},
      {"source start line is never copied, even with the end marker",
       "BEGIN END\nx\nEND\n", record("BEGIN", "END", "<m>", "</m>"), "<m>\n</m>\n",
       "<m>\nx\n</m>\n"},
      {"target end marker before the start line is copied", source,
       record("BEGIN", "END", "<m>", "</m>"), "</m> early\n<m>\nold\n</m>\n",
       "</m> early\n<m>\nnew 1\nnew 2\n</m>\n"},
      {"empty target start marker: after the first line", source,
       record("BEGIN", "END", "", "</m>"), "first\nold\n</m>\nlast\n",
       "first\nnew 1\nnew 2\n</m>\nlast\n"},
      {"last target line gets a line end", source, record("BEGIN", "END", "<m>", "</m>"),
       "<m>\nold\n</m>", "<m>\nnew 1\nnew 2\n</m>\n"},
      {"CR LF lines keep their own ends", "BEGIN\r\nx\r\nEND\r\n",
       record("BEGIN", "END", "<m>", "</m>"), "h\r\n<m>\r\nold\r\n</m>\r\nt\r\n",
       "h\r\n<m>\r\nx\r\n</m>\r\nt\r\n"},
      {"markers are case-sensitive substrings", "begin\nBEGIN\nx\nEND\n",
       record("BEGIN", "END", "<m>", "</m>"), "<M>\n..<m>..\nold\n..</m>..\n",
       "<M>\n..<m>..\nx\n..</m>..\n"},
      {"empty source block empties the target block", "BEGIN\nEND\n",
       record("BEGIN", "END", "<m>", "</m>"), "<m>\nold\n</m>\n", "<m>\n</m>\n"},
      {"NUL and 0x1A bytes pass", "BEGIN\na\0b\x1a\nEND\n"s,
       record("BEGIN", "END", "<m>", "</m>"), "<m>\n</m>\n", "<m>\na\0b\x1a\n</m>\n"s},
  };
  for (const auto& c : cases) {
    for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{1} << 20}) {
      const splice_run run = run_record(c.source, c.markers, c.target, chunk);
      EXPECT_EQ(run.exit_status, 1) << c.name << " chunk " << chunk;
      EXPECT_EQ(run.target, c.expected) << c.name << " chunk " << chunk;
      EXPECT_EQ(run.out, "Press any key to continue . . . \n") << c.name;
    }
  }
}

TEST(SpliceTest, RefusesWhatWouldDestroyText) {
  const struct {
    const char* name;
    std::string source;
    std::string markers;
  } cases[] = {
      {"target start without an end after it", "BEGIN\nx\nEND\n",
       record("BEGIN", "END", "<m>", "</nothing>")},
      {"source without its start marker", "x\nEND\n",
       record("BEGIN", "END", "<m>", "</m>")},
      {"record cut short by the end of the script", "BEGIN\nx\nEND\n",
       "BEGIN\nEND\ns.txt\n<m>\n"},
      {"one-line source: its only line holds both markers", "BEGIN new END",
       record("BEGIN", "END", "<m>", "</m>")},
      {"source whose start line is its last line", "junk\nBEGIN new END\n",
       record("BEGIN", "END", "<m>", "</m>")},
      {"source with lone CR line ends reads as one line", "BEGIN\rnew\rEND\r",
       record("BEGIN", "END", "<m>", "</m>")},
  };
  const std::string target = "keep\n<m>\nold\n</m>\nme\n";
  for (const auto& c : cases) {
    const splice_run run = run_record(c.source, c.markers, target);
    EXPECT_EQ(run.exit_status, 0) << c.name;
    EXPECT_EQ(run.target, target) << c.name;
    EXPECT_EQ(run.out, "txt_content_replace_txt error.\n") << c.name;
  }
}

TEST(SpliceTest, MissingFilesFailAndCreateNothing) {
  for (const char* missing : {"source", "target"}) {
    fake_platform os;
    const std::string script =
        std::string("[txt_content_replace_txt]\nB\nE\n") +
        (missing == std::string("source") ? "nope.txt" : "s.txt") + "\nB\nE\n" +
        (missing == std::string("target") ? "nope.txt" : "t.txt") + "\n";
    os.add_file("s.txt", "B\nx\nE\n");
    os.add_file("t.txt", "B\nE\n");
    os.add_file("script", script);
    const char* const args[] = {"quillmend", "script"};
    EXPECT_EQ(run_script(2, args, os), 0) << missing;
    EXPECT_FALSE(os.exists("nope.txt")) << missing;
    EXPECT_EQ(os.files["t.txt"], "B\nE\n") << missing;
  }
}

TEST(SpliceTest, SourceAndTargetMayBeTheSameFile) {
  fake_platform os;
  os.add_file("f.txt", "<a>\nnew\n</a>\n<b>\nold\n</b>\n");
  os.add_file("script",
              "[txt_content_replace_txt]\n<a>\n</a>\nf.txt\n<b>\n</b>\nf.txt\n");
  const char* const args[] = {"quillmend", "script"};
  EXPECT_EQ(run_script(2, args, os), 1);
  EXPECT_EQ(os.files["f.txt"], "<a>\nnew\n</a>\n<b>\nnew\n</b>\n");
}

TEST(MarkedLinesTest, FindsMarkersAcrossBlockBoundaries) {
  const std::string long_line = std::string(1000, 'x') + "MARK" + std::string(1000, 'y');
  for (std::size_t block : {std::size_t{1}, std::size_t{2}, std::size_t{3},
                            std::size_t{5}, std::size_t{64}}) {
    fake_platform os;
    os.add_file("f", "no\n" + long_line + "\nMAR\nK\n");
    marked_lines lines(os.open_input("f").file, os.open_input("f").file, block);
    opened<replacement_file> out = os.open_replacement("o", "");
    const line_marker mark("MARK");
    bool contains = true;
    const bool expected[] = {false, true, false, false};
    for (bool want : expected) {
      ASSERT_TRUE(lines.next_line(mark, contains)) << block;
      EXPECT_EQ(contains, want) << block;
      ASSERT_TRUE(lines.write_line(*out.file).is_ok());
    }
    EXPECT_FALSE(lines.next_line(mark, contains));
    ASSERT_TRUE(out.file->commit().is_ok());
    EXPECT_EQ(os.files["o"], "no\n" + long_line + "\nMAR\nK\n") << block;
  }
}

}  // namespace
}  // namespace quillmend
