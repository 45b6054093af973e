// Arbitrary scripts through the script reader and the whole driver, over the
// in-memory platform: the handlers do real work on a few files and folders,
// but no command runs and no real file is touched.
//
// Input: one byte for the size of each read, then the script.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/line_reader.h"
#include "driver/run_script.h"
#include "fuzz/fuzz_check.h"
#include "tests/fake_platform.h"

namespace {

using quillmend::fake_platform;
using quillmend_fuzz::require;

// The script lines the driver must see: the reader also drops a carriage
// return before each line feed, and at the end of a last line without one.
std::vector<std::string> script_lines(const std::string& script) {
  std::vector<std::string> lines = quillmend_fuzz::split_lines(script);
  for (std::string& line : lines)
    if (!line.empty() && line.back() == '\r') line.pop_back();
  // A last line of a lone carriage return is still a line, now empty.
  return lines;
}

void check_reader(const std::string& script, std::size_t chunk) {
  fake_platform os;
  os.read_chunk = chunk;
  os.add_file("s", script);
  quillmend::line_reader reader(os.open_input("s").file);
  std::vector<std::string> lines;
  std::string line;
  while (reader.read_line(line)) lines.push_back(line);
  require(!reader.failed(), "the reader reports an error without one");
  require(lines == script_lines(script), "the reader's lines differ from the reference");
  require(!reader.read_line(line), "the reader reads past its end");
}

void add_site(fake_platform& os) {
  os.add_file("src\\a.txt", "one two\r\nthree ONE\n");
  os.add_file("src\\B.HTM", "<m>\nold\n</m>\n");
  os.add_file("src\\docs\\c.htm", "x");
  os.add_file("menu.htm", "<m>\nmenu\n</m>\n");
  os.add_file("page.htm", "head\n<m>\nold\n</m>\ntail");
  os.add_folder("out");
}

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The script as the driver reads it: without a UTF-8 byte-order mark and
// without one 0x1A that is its very last byte. A UTF-16 script is converted
// on the way, which this reference does not redo: its lines are not checked.
bool as_the_driver_reads(std::string& script) {
  if (script.compare(0, 2, "\xff\xfe") == 0) return false;
  if (script.compare(0, 3, "\xef\xbb\xbf") == 0) script.erase(0, 3);
  if (!script.empty() && script.back() == '\x1a') script.pop_back();
  return true;
}

void check_driver(const std::string& script, std::size_t chunk) {
  fake_platform os;
  os.read_chunk = chunk;
  add_site(os);
  os.add_file("script.qms", script);
  const char* const arguments[] = {"quillmend", "script.qms"};
  const int exit_status = quillmend::run_script(2, arguments, os);
  require(exit_status == 0 || exit_status == 1, "exit status other than 0 or 1");
  require(os.locks_held == 0, "a work lock is still held");

  // Nothing is run but the script's own lines, and "pause" only at its end.
  std::string read = script;
  const bool checkable = as_the_driver_reads(read);
  const std::vector<std::string> lines = script_lines(read);
  for (std::size_t i = 0; i < os.commands.size(); ++i) {
    const std::string& command = os.commands[i];
    if (command == fake_platform::kPaused) {
      require(i + 1 == os.commands.size(), "pause before the end of the script");
      continue;
    }
    require(!checkable || std::find(lines.begin(), lines.end(), command) != lines.end(),
            "a command that is not a script line ran");
  }
  const bool paused =
      !os.commands.empty() && os.commands.back() == fake_platform::kPaused;
  require(exit_status != 1 || paused, "exit status 1 without the pause");
  // A run can reach its end and still fail: a copy that could not be made
  // lets it go on, and then says so.
  require(!paused || exit_status == 1 || !os.err.str().empty(),
          "a run that ended failed without saying why");

  const std::string out = os.out.str();
  if (paused) {
    require(ends_with(out, "Press any key to continue . . . \n"),
            "no pause line at the end");
    return;
  }
  const char* const endings[] = {
      "\ntxt_content_replace error.\n",
      "\ntxt_content_replace_no_case error. \n",
      "\ncopy_file error.\n",
      "txt_content_replace_txt error.\n",
      "\nSwitch operation mode error, check you script file.\n",
  };
  bool known = false;
  for (const char* ending : endings) known = known || ends_with(out, ending);
  require(known, "a failed run without one of the failure messages");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t chunk = data[0] % 16 + 1;
  const std::string script(reinterpret_cast<const char*>(data + 1), size - 1);
  check_reader(script, chunk);
  check_driver(script, chunk);
  return 0;
}
