// The replacement engine against a plain, obviously correct reference: the
// leftmost occurrence wins, occurrences never overlap, and only the ASCII
// letters fold. Any difference aborts. Block sizes go down to one byte and
// reads return as few bytes as one, so occurrences straddle every boundary.
// Some runs also make one read or write fail: the engine must then report
// an error, never a success.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "engine/stream_replace.h"
#include "fuzz/fuzz_check.h"
#include "tests/fake_platform.h"
#include "tests/reference_replace.h"

namespace {

using quillmend_fuzz::require;

// The letters, their neighbours one case-distance away ('@' '`' '[' '{'),
// bytes above 0x7f that differ by 32 like two cases would, a line feed, NUL.
const char kAlphabet[] = {'a', 'A', 'b',    'B',    '@',  '`',
                          '[', '{', '\xc9', '\xe9', '\n', '\0'};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  quillmend::replace_options options;
  options.ignore_case = input.ConsumeBool();
  options.block_size = input.ConsumeIntegralInRange<std::size_t>(1, 64);
  const std::size_t chunk = input.ConsumeIntegralInRange<std::size_t>(1, 64);
  const bool narrow = input.ConsumeBool();
  // 0: no fault; otherwise the nth read or write fails.
  const int fault = input.ConsumeIntegralInRange<int>(0, 40);
  options.find_text = input.ConsumeRandomLengthString(24);
  options.replace_text = input.ConsumeRandomLengthString(24);
  std::string text = input.ConsumeRemainingBytesAsString();
  if (narrow) {
    quillmend_fuzz::narrow(options.find_text, kAlphabet, sizeof(kAlphabet));
    quillmend_fuzz::narrow(text, kAlphabet, sizeof(kAlphabet));
  }
  if (options.find_text.empty()) options.find_text = "a";

  std::uint64_t last_progress = 0;
  options.on_progress = [&](std::uint64_t bytes_read) {
    require(bytes_read >= last_progress && bytes_read <= text.size(),
            "progress goes back or beyond the input");
    last_progress = bytes_read;
  };

  quillmend::fake_platform os;
  os.read_chunk = chunk;
  os.add_file("in", text);
  const char* faulty = (fault % 2 == 0) ? "read" : "write";
  if (fault > 0) os.fail_once(faulty, (fault + 1) / 2);
  quillmend::opened<quillmend::input_file> in = os.open_input("in");
  quillmend::opened<quillmend::replacement_file> out = os.open_replacement("out", "in");
  require(in.result.is_ok() && out.result.is_ok(), "the fake cannot open its files");
  const quillmend::status result =
      quillmend::stream_replace(*in.file, *out.file, options);

  const bool hit = fault > 0 && os.calls[faulty] >= (fault + 1) / 2;
  if (hit) {
    require(!result.is_ok(), "a failed read or write was not reported");
    return 0;
  }
  require(result.is_ok(), "an error without a failing call");
  require(out.file->commit().is_ok(), "the fake cannot commit");
  require(os.files["out"] == quillmend_test::reference_replace(text, options.find_text,
                                                               options.replace_text,
                                                               options.ignore_case),
          "the output differs from the reference");
  return 0;
}
