// Copies a stream to another with every occurrence of a text replaced.
//
// Works block by block: memory stays at one block, the find text and a small
// output buffer, whatever the input's size. The last length-1 bytes of a
// block that could start an occurrence are carried into the next block, so
// occurrences that straddle a block boundary are found like any other.
#ifndef QUILLMEND_ENGINE_STREAM_REPLACE_H_
#define QUILLMEND_ENGINE_STREAM_REPLACE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace quillmend {

// Small enough that a block and the file's write buffer stay in the CPU's
// cache between the read, the search and the write: larger blocks measured
// slower, not faster.
constexpr std::size_t kDefaultReplaceBlock = 64 * 1024;

struct replace_options {
  std::string find_text;  // not empty
  std::string replace_text;
  bool ignore_case = false;
  std::size_t block_size = kDefaultReplaceBlock;  // tests shrink it to 1
  // Called after each block with the number of input bytes read so far.
  std::function<void(std::uint64_t)> on_progress;
};

// Returns the first read or write error; the output is then incomplete and
// must not be committed. Counts the occurrences replaced in `replacements`
// when it is given.
status stream_replace(input_file& in, replacement_file& out,
                      const replace_options& options,
                      std::uint64_t* replacements = nullptr);

}  // namespace quillmend

#endif  // QUILLMEND_ENGINE_STREAM_REPLACE_H_
