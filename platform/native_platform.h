// The platform of the machine the tool was built for: posix_platform.cc or
// win32_platform.cc, chosen by the build.
#ifndef QUILLMEND_PLATFORM_NATIVE_PLATFORM_H_
#define QUILLMEND_PLATFORM_NATIVE_PLATFORM_H_

#include <memory>

#include "platform/platform.h"

namespace quillmend {

// On POSIX, reads QUILLMEND_DRIVES (and XDG_DATA_HOME, HOME) once, when
// created.
std::unique_ptr<platform> make_native_platform();

}  // namespace quillmend

#endif  // QUILLMEND_PLATFORM_NATIVE_PLATFORM_H_
