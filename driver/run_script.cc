#include "driver/run_script.h"

#include <new>

#include "common/shown_text.h"
#include "common/work_files.h"
#include "driver/section_header.h"
#include "driver/section_kinds.h"

namespace quillmend {
namespace {

// Held while a line uses the shared work files. Where no lock can be had (a
// work folder that cannot be used) the line goes on unlocked, and fails
// when it opens that folder itself. The lock lives in the private folder:
// a lock that others can open is one that others can hold.
std::unique_ptr<file_lock> lock_work_files(platform& os, reporter& report) {
  opened<work_folder> folder = open_work_folder(os, kNewListFolder);
  if (!folder.result.is_ok()) return nullptr;
  return folder.file->lock(kWorkLockFileName, [&] {
    report.note("waiting for another quillmend run to finish with " +
                report.describe(kNewListFolder));
  });
}

int run_lines(script_state& state, const std::string& script_file, platform& os,
              reporter& report) {
  for (;;) {
    if (!state.script_stream->read_line(state.current_line)) {
      if (state.script_stream->failed()) {
        os.console() << "read " << shown{script_file, os.console_is_terminal()}
                     << " failed.";
        end_line(os.console());
        report.note(report.describe(script_file) + ": cannot be read");
        return 0;
      }
      os.pause();
      // A copy or copy-back that failed let the run go on, but the run as a
      // whole did not succeed, and callers must be able to tell.
      return report.failures_that_went_on() > 0 ? 0 : 1;
    }
    report.at_line(state.script_stream->line_number());
    if (!state.current_line.empty() && state.current_line[0] == '[') {
      if (!parse_section_header(state, report)) {
        os.console() << "\nSwitch operation mode error, check you script file.\n";
        return 0;
      }
    } else if (!dispatch_line(state, os, report)) {
      os.console() << kind_of_mode(state.operation_mode).failure_message;
      return 0;
    }
  }
}

}  // namespace

void show_usage(platform& os) {
  const char* const lines[] = {
      "____________________________________________________________________________ ",
      "Quillmend v1.0 - A rational full txt replacement batch tool. ",
      "     Author : Quillmend contributors",
      "      Email : team@quillmend.example",
      "         QQ : none",
      "   Thankfor : everyone who reported a bug or sent a patch",
      "",
      "      Usage : Quillmend ScriptFile",
      " ScriptFile : you Script File that used to tell Quillmend what to work with.",
      "____________________________________________________________________________ ",
      "",
  };
  for (const char* line : lines) {
    os.console() << line;
    end_line(os.console());
  }
  os.run_interactive_interpreter();
}

bool dispatch_line(script_state& state, platform& os, reporter& report) {
  const section_kind& kind = kind_of_mode(state.operation_mode);
  std::unique_ptr<file_lock> lock;
  if (kind.holds_work_lock) lock = lock_work_files(os, report);
  if (!kind.handle_line(state, os, report)) return false;
  apply_case_effect(kind.line_case, state.ignore_case);
  return true;
}

int run_script(int argument_count, const char* const arguments[], platform& os) {
  if (argument_count != 2) {
    show_usage(os);
    return 0;
  }
  const std::string script_file = arguments[1];
  opened<input_file> script = os.open_script(script_file);
  reporter report(os, script_file);
  if (!script.result.is_ok()) {
    os.console() << "open " << shown{script_file, os.console_is_terminal()} << " failed.";
    end_line(os.console());
    report.note(report.describe(script_file) + ": " + script.result.reason());
    return 0;
  }
  script_state state;
  state.script_stream = std::make_unique<line_reader>(std::move(script.file));
  try {
    return run_lines(state, script_file, os, report);
  } catch (const std::bad_alloc&) {
    // A line too large for memory ends the run like any failing line.
    report.note("out of memory (a line too long to hold?)");
    os.console() << kind_of_mode(state.operation_mode).failure_message;
    return 0;
  }
}

}  // namespace quillmend
