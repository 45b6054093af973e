#include "driver/run_script.h"

#include <new>

#include "common/script_text.h"
#include "common/shown_text.h"
#include "common/work_files.h"
#include "driver/options.h"
#include "driver/section_header.h"
#include "driver/section_kinds.h"
#include "engine/progress_line.h"
#include "preview/preview_platform.h"

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

enum class run_end { finished, failed };

// Reads and handles the script's lines up to its end or its first failure.
run_end run_lines(script_state& state, const std::string& script_file, platform& os,
                  reporter& report) {
  for (;;) {
    if (!state.script_stream->read_line(state.current_line)) {
      if (!state.script_stream->failed()) return run_end::finished;
      os.console() << "read " << shown{script_file, os.console_is_terminal()}
                   << " failed.";
      end_line(os.console());
      report.note(report.describe(script_file) + ": cannot be read");
      return run_end::failed;
    }
    report.at_line(state.script_stream->line_number());
    if (!state.current_line.empty() && state.current_line[0] == '[') {
      if (!parse_section_header(state, report)) {
        os.console() << "\nSwitch operation mode error, check you script file.\n";
        return run_end::failed;
      }
    } else if (!dispatch_line(state, os, report)) {
      os.console() << kind_of_mode(state.operation_mode).failure_message;
      return run_end::failed;
    }
  }
}

run_end run_guarded(script_state& state, const std::string& script_file, platform& os,
                    reporter& report) {
  try {
    return run_lines(state, script_file, os, report);
  } catch (const std::bad_alloc&) {
    // A line too large for memory ends the run like any failing line.
    report.note("out of memory (a line too long to hold?)");
    os.console() << kind_of_mode(state.operation_mode).failure_message;
    return run_end::failed;
  }
}

// Without --batch the exit status keeps its old meaning: 1 when the script
// ran to its end, 0 after a failure. With it, the usual one: 0 for success.
// Either way a copy or copy-back that failed let the run go on, but the run
// as a whole did not succeed, and callers must be able to tell.
int exit_status_of(run_end end, const reporter& report, const run_options& options) {
  const bool succeeded = end == run_end::finished && report.failures_that_went_on() == 0;
  if (options.batch) return succeeded ? 0 : 1;
  return succeeded ? 1 : 0;
}

int run_script_file(const command_line& line, platform& os, preview_platform* preview) {
  const double started = steady_seconds();
  const run_options& options = line.options;
  reporter report(os, line.script_file);
  report.set_preview(options.dry_run);
  if (preview != nullptr)
    report.set_after_each_file([preview] { preview->write_waiting_diffs(); });
  const bool summary = options.batch || options.dry_run || os.diagnostics_is_terminal();
  opened<input_file> script = open_script(os, line.script_file);
  run_end end = run_end::failed;
  if (!script.result.is_ok()) {
    os.console() << "open " << shown{line.script_file, os.console_is_terminal()}
                 << " failed.";
    end_line(os.console());
    report.note(report.describe(line.script_file) + ": " + script.result.reason());
  } else {
    script_state state;
    state.script_stream = std::make_unique<line_reader>(std::move(script.file));
    end = run_guarded(state, line.script_file, os, report);
    if (end == run_end::failed && preview != nullptr && preview->commands_not_run() > 0)
      report.note("this may fail only because the commands before it were not run");
    if (end == run_end::finished && !options.batch && !options.no_pause) os.pause();
  }
  if (end == run_end::failed) report.line_failed();
  if (summary) {
    os.console().flush();
    os.diagnostics() << report.summary(steady_seconds() - started);
    end_line(os.diagnostics());
  }
  return exit_status_of(end, report, options);
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
  const command_line line = parse_command_line(argument_count, arguments);
  switch (line.action) {
    case command_line_action::usage_error:
      os.diagnostics() << line.error;
      end_line(os.diagnostics());
      return kUsageErrorStatus;
    case command_line_action::show_help:
      os.console() << help_text() << std::flush;
      return 0;
    case command_line_action::show_version:
      os.console() << version_text() << std::flush;
      return 0;
    case command_line_action::show_banner:
      show_usage(os);
      return 0;
    case command_line_action::run_script:
      break;
  }
  if (!line.options.dry_run && !line.options.diff)
    return run_script_file(line, os, nullptr);
  preview_options preview_with;
  preview_with.dry_run = line.options.dry_run;
  preview_with.diff = line.options.diff;
  preview_with.colour = os.console_wants_colour();
  preview_platform preview(os, preview_with);
  const status started = preview.start();
  if (!started.is_ok()) {
    os.diagnostics() << "quillmend: cannot make a scratch folder: " << started.reason();
    end_line(os.diagnostics());
    return line.options.batch ? 1 : 0;
  }
  const int exit_status = run_script_file(line, preview, &preview);
  preview.write_waiting_diffs();
  return exit_status;
}

}  // namespace quillmend
