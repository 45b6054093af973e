// The program's entry: the usage banner, or the script loop.
//
// The loop reads the script line by line. A line starting with '[' is a
// section header; every other line goes to the handler of the current mode.
// The first failure ends the run with the mode's message.
//
// Exit status: 1 when the script ran to its end (after "pause"), 0 after the
// banner or any failure.
#ifndef QUILLMEND_DRIVER_RUN_SCRIPT_H_
#define QUILLMEND_DRIVER_RUN_SCRIPT_H_

#include "common/reporter.h"
#include "driver/script_state.h"
#include "platform/platform.h"

namespace quillmend {

int run_script(int argument_count, const char* const arguments[], platform& os);

// Writes the banner, then leaves the user in an interactive interpreter.
void show_usage(platform& os);

// Hands state.current_line to the handler of state.operation_mode.
bool dispatch_line(script_state& state, platform& os, reporter& report);

}  // namespace quillmend

#endif  // QUILLMEND_DRIVER_RUN_SCRIPT_H_
