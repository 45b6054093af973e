// Windows text-mode line ends, done by the tool itself rather than by the C
// runtime, whose text mode also treats a 0x1A byte as the end of the input.
//
// Reading turns every CR LF into LF; writing turns every LF into CR LF. All
// other bytes, a lone CR included, pass unchanged, and no byte ends the input
// early. Pure byte work on top of any input_file and replacement_file, so it
// is built and tested on every platform even though only the Windows build
// uses it.
#ifndef QUILLMEND_PLATFORM_TEXT_MODE_H_
#define QUILLMEND_PLATFORM_TEXT_MODE_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/buffered_reader.h"
#include "platform/platform.h"

namespace quillmend {

// Reads `raw` with CR LF delivered as LF. A CR that ends one read of `raw` is
// held back until the next read shows whether an LF follows it; a CR at the
// very end of the file is delivered as it is. Read errors of `raw` are passed
// on.
class crlf_input : public input_file {
 public:
  explicit crlf_input(std::unique_ptr<input_file> raw,
                      std::size_t buffer_size = buffered_reader::kDefaultBlock);

  status read(char* buffer, std::size_t size, std::size_t& count) override;
  // The raw file's size. Progress counts the bytes delivered, fewer than
  // that on CR LF files, which only makes the shown percentage cautious.
  std::int64_t size() const override { return raw_.file().size(); }
  status unchanged() const override { return raw_.file().unchanged(); }

 private:
  buffered_reader raw_;
};

// Writes through `raw` with each LF stored as CR LF; commit() commits `raw`.
class crlf_output : public replacement_file {
 public:
  explicit crlf_output(std::unique_ptr<replacement_file> raw);

  status write(const char* data, std::size_t size) override;
  status commit() override;

 private:
  std::unique_ptr<replacement_file> raw_;
};

}  // namespace quillmend

#endif  // QUILLMEND_PLATFORM_TEXT_MODE_H_
