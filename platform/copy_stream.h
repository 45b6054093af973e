// Moving every byte of an open input into a replacement, shared by each
// platform's copy_file.
#ifndef QUILLMEND_PLATFORM_COPY_STREAM_H_
#define QUILLMEND_PLATFORM_COPY_STREAM_H_

#include "platform/platform.h"

namespace quillmend {

// Writes all of `from` to `to` and returns the first read or write error.
// Does not commit `to`: the caller decides, after closing what it must.
status copy_stream(input_file& from, replacement_file& to);

}  // namespace quillmend

#endif  // QUILLMEND_PLATFORM_COPY_STREAM_H_
