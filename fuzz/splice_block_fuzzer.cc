// A splice record through the driver (splice, then the copy-back) over the
// in-memory platform, against an in-memory reference of the splice rules:
//   the target up to and including its first line with the target start
//   marker; the source lines strictly between its first start-marker line
//   and the next end-marker line (or the source's end); then the target from
//   its first end-marker line after the start line on. Every line ends with
//   a line feed. A target without a start line gets the block appended.
//   Refused, target untouched: no source line with the start marker, or a
//   target start line without an end line after it.
// Reads return as few bytes as one, so markers straddle every boundary.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/work_files.h"
#include "driver/run_script.h"
#include "fuzz/fuzz_check.h"
#include "tests/fake_platform.h"

namespace {

using quillmend_fuzz::require;

bool contains(const std::string& line, const std::string& marker) {
  return line.find(marker) != std::string::npos;
}

std::optional<std::string> reference_splice(const std::string& source,
                                            const std::string& target,
                                            const std::string& source_start,
                                            const std::string& source_end,
                                            const std::string& target_start,
                                            const std::string& target_end) {
  const std::vector<std::string> s = quillmend_fuzz::split_lines(source);
  const std::vector<std::string> t = quillmend_fuzz::split_lines(target);
  std::string out;
  std::size_t i = 0, j = 0;
  bool target_has_start = false;
  while (i < t.size() && !target_has_start) {
    out += t[i] + "\n";
    target_has_start = contains(t[i++], target_start);
  }
  while (j < s.size() && !contains(s[j], source_start)) ++j;
  if (j == s.size()) return std::nullopt;
  // A start line that is the source's last line gives no block at all.
  if (j + 1 == s.size()) return std::nullopt;
  for (++j; j < s.size() && !contains(s[j], source_end); ++j) out += s[j] + "\n";
  if (target_has_start) {
    while (i < t.size() && !contains(t[i], target_end)) ++i;
    if (i == t.size()) return std::nullopt;
  }
  for (; i < t.size(); ++i) out += t[i] + "\n";
  return out;
}

// A script line delivers a marker without line feeds and without a carriage
// return at its end.
std::string as_script_line(std::string marker) {
  std::string line;
  for (char c : marker)
    if (c != '\n') line += c;
  while (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

const char kMarkerAlphabet[] = {'a', 'b', '<', '>', '\r', ' '};
const char kTextAlphabet[] = {'a', 'b', '<', '>', '\r', ' ', '\n', '\n'};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::size_t chunk = input.ConsumeIntegralInRange<std::size_t>(1, 16);
  const bool narrow = input.ConsumeBool();
  const bool same_file = input.ConsumeIntegralInRange<int>(0, 7) == 0;
  std::string markers[4];
  for (std::string& marker : markers) {
    marker = input.ConsumeRandomLengthString(6);
    if (narrow) quillmend_fuzz::narrow(marker, kMarkerAlphabet, sizeof(kMarkerAlphabet));
    marker = as_script_line(marker);
  }
  std::string source = input.ConsumeRandomLengthString(512);
  std::string target = input.ConsumeRemainingBytesAsString();
  if (narrow) {
    quillmend_fuzz::narrow(source, kTextAlphabet, sizeof(kTextAlphabet));
    quillmend_fuzz::narrow(target, kTextAlphabet, sizeof(kTextAlphabet));
  }
  const std::string source_path = same_file ? "t.txt" : "s.txt";
  if (same_file) source = target;

  quillmend::fake_platform os;
  os.read_chunk = chunk;
  os.add_file("t.txt", target);
  if (!same_file) os.add_file("s.txt", source);
  os.add_file("record", markers[1] + "\n" + source_path + "\n" + markers[2] + "\n" +
                            markers[3] + "\n" + "t.txt\n");
  quillmend::script_state state;
  state.operation_mode = quillmend::section_mode::txt_content_replace_txt;
  state.current_line = markers[0];
  state.script_stream =
      std::make_unique<quillmend::line_reader>(os.open_input("record").file);
  quillmend::reporter report(os, "script");
  const bool spliced = quillmend::dispatch_line(state, os, report);

  const std::optional<std::string> expected =
      reference_splice(source, target, markers[0], markers[1], markers[2], markers[3]);
  require(spliced == expected.has_value(), "splice and reference disagree on refusing");
  require(os.locks_held == 0 && os.locks_taken == 1, "the work lock was not taken once");
  require(os.out.str().empty(), "the splice wrote a console line");
  require(spliced == os.err.str().empty(),
          "a refusal without a reason, or a reason without one");
  if (!spliced) {
    require(os.files["t.txt"] == target, "a refused splice changed the target");
    require(os.files.count(quillmend::kSplicedWorkFile) == 0,
            "a refused splice left a work file");
    return 0;
  }
  require(os.files[quillmend::kSplicedWorkFile] == *expected,
          "the work file differs from the reference");
  require(os.files["t.txt"] == *expected, "the copy-back did not replace the target");
  if (!same_file) require(os.files["s.txt"] == source, "the source changed");
  return 0;
}
