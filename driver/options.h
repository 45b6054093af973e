// The command line: options before the script, GNU style.
//
// Without any option the argument count alone decides, as it always did:
// exactly one argument is the script, any other count shows the banner.
// Options come before the script; "--" ends them, so that a script named
// "-x" can be run. A lone "-" is a name, not an option. After an option
// exactly one script must follow.
#ifndef QUILLMEND_DRIVER_OPTIONS_H_
#define QUILLMEND_DRIVER_OPTIONS_H_

#include <string>

namespace quillmend {

struct run_options {
  bool dry_run = false;   // -n, --dry-run: change nothing, say what would change
  bool diff = false;      // --diff: a unified diff of each file that changes
  bool batch = false;     // --batch: no pause, 0/1/2 exit status, summary
  bool no_pause = false;  // --no-pause: no pause at the end
};

enum class command_line_action {
  show_banner,
  run_script,
  show_help,
  show_version,
  usage_error
};

struct command_line {
  command_line_action action = command_line_action::show_banner;
  run_options options;
  std::string script_file;
  std::string error;  // for usage_error: what was wrong, as one line
};

command_line parse_command_line(int argument_count, const char* const arguments[]);

// The text of --help and --version, each ending with a line feed.
std::string help_text();
std::string version_text();

// The exit status of a usage error, as other command-line tools give it.
constexpr int kUsageErrorStatus = 2;

}  // namespace quillmend

#endif  // QUILLMEND_DRIVER_OPTIONS_H_
