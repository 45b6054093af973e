// The line walker of the splice, with blocks and reads down to one byte:
// every line's marker test against std::string::find on the whole line, and
// the written lines against the reference text, line ends included.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "splice/marked_lines.h"
#include "tests/fake_platform.h"

namespace {

using quillmend_fuzz::require;

const char kAlphabet[] = {'a', 'b', 'c', '\r', '\n'};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::size_t block = input.ConsumeIntegralInRange<std::size_t>(1, 9);
  const std::size_t chunk = input.ConsumeIntegralInRange<std::size_t>(1, 9);
  const bool narrow = input.ConsumeBool();
  const std::uint64_t writes = input.ConsumeIntegral<std::uint64_t>();
  std::vector<std::string> markers(input.ConsumeIntegralInRange<std::size_t>(1, 4));
  for (std::string& marker : markers) {
    marker = input.ConsumeRandomLengthString(8);
    if (narrow) quillmend_fuzz::narrow(marker, kAlphabet, sizeof(kAlphabet) - 1);
  }
  std::string text = input.ConsumeRemainingBytesAsString();
  if (narrow) quillmend_fuzz::narrow(text, kAlphabet, sizeof(kAlphabet));

  quillmend::fake_platform os;
  os.read_chunk = chunk;
  os.add_file("f", text);
  quillmend::marked_lines lines(os.open_input("f").file, os.open_input("f").file, block);
  quillmend::opened<quillmend::replacement_file> out = os.open_replacement("out", "");

  std::vector<quillmend::line_marker> prepared;
  for (const std::string& marker : markers) prepared.emplace_back(marker);
  const std::vector<std::string> reference = quillmend_fuzz::split_lines(text);
  std::string expected;
  std::size_t index = 0;
  bool contains = false;
  while (lines.next_line(prepared[index % prepared.size()], contains)) {
    require(index < reference.size(), "more lines than the reference");
    const std::string& marker = markers[index % markers.size()];
    require(contains == (reference[index].find(marker) != std::string::npos),
            "the marker test differs from find()");
    if ((writes >> (index % 64)) & 1) {
      require(lines.write_line(*out.file).is_ok(), "write_line failed");
      // The line's own end, or a line feed for a last line without one.
      expected += reference[index] + "\n";
    } else {
      require(lines.skip_line().is_ok(), "skip_line failed");
    }
    ++index;
  }
  require(index == reference.size(), "fewer lines than the reference");
  require(lines.error().is_ok(), "an error without a failing read");
  require(!lines.next_line(prepared[0], contains), "a line after the end");
  require(out.file->commit().is_ok(), "the fake cannot commit");
  require(os.files["out"] == expected, "the written lines differ from the reference");
  return 0;
}
