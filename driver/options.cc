#include "driver/options.h"

#ifndef QUILLMEND_VERSION
#define QUILLMEND_VERSION "unknown"
#endif

namespace quillmend {
namespace {

// Sets the option named `name` ("dry-run", or "n" for a short one); false
// when there is no such option.
bool set_option(const std::string& name, command_line& line) {
  if (name == "n" || name == "dry-run") {
    line.options.dry_run = true;
  } else if (name == "diff") {
    line.options.diff = true;
  } else if (name == "batch") {
    line.options.batch = true;
  } else if (name == "no-pause") {
    line.options.no_pause = true;
  } else if (name == "h" || name == "help") {
    line.action = command_line_action::show_help;
  } else if (name == "version") {
    line.action = command_line_action::show_version;
  } else {
    return false;
  }
  return true;
}

command_line usage_error(const std::string& what) {
  command_line line;
  line.action = command_line_action::usage_error;
  line.error = "quillmend: " + what + " (see quillmend --help)";
  return line;
}

bool is_option(const std::string& argument) {
  return argument.size() > 1 && argument[0] == '-';
}

}  // namespace

command_line parse_command_line(int argument_count, const char* const arguments[]) {
  command_line line;
  int next = 1;
  bool any_option = false;
  for (; next < argument_count && is_option(arguments[next]); ++next) {
    const std::string argument = arguments[next];
    any_option = true;
    if (argument == "--") {
      ++next;
      break;
    }
    if (argument.compare(0, 2, "--") == 0) {
      if (!set_option(argument.substr(2), line))
        return usage_error("unknown option " + argument);
      continue;
    }
    // A cluster of short options: "-nh".
    for (std::size_t i = 1; i < argument.size(); ++i)
      if (!set_option(argument.substr(i, 1), line))
        return usage_error("unknown option -" + argument.substr(i, 1));
  }
  if (line.action == command_line_action::show_help ||
      line.action == command_line_action::show_version)
    return line;
  const int scripts = argument_count - next;
  if (!any_option) {
    line.action =
        scripts == 1 ? command_line_action::run_script : command_line_action::show_banner;
  } else if (scripts != 1) {
    return usage_error(scripts == 0 ? "the options need a script file after them"
                                    : "one script file only, after the options");
  } else {
    line.action = command_line_action::run_script;
  }
  if (line.action == command_line_action::run_script) line.script_file = arguments[next];
  return line;
}

std::string help_text() {
  return "Usage: quillmend [OPTION]... SCRIPT\n"
         "Carries out the sections of SCRIPT, line by line.\n"
         "\n"
         "Options:\n"
         "  -n, --dry-run  change nothing; say what each line would do\n"
         "      --diff     show a unified diff of each file that changes\n"
         "      --batch    no pause; exit status 0 when every line succeeded, 1 when\n"
         "                 something failed, 2 for a usage error; a summary on\n"
         "                 standard error\n"
         "      --no-pause do not wait for a key at the end\n"
         "  -h, --help     show this text\n"
         "      --version  show the version\n"
         "  --             end of options (for a script whose name starts with -)\n"
         "\n"
         "Sections and their parameter lines:\n"
         "  [txt_content_replace]          text to find, replacement, source folder,\n"
         "                                 target folder; then one file name a line\n"
         "  [txt_content_replace_no_case]  the same, ignoring ASCII letter case\n"
         "  [copy_file]                    source folder, target folder; then lines\n"
         "                                 \"pattern > new-name\" or \"new-name < "
         "pattern\"\n"
         "  [txt_content_replace_txt]      none; then records of six lines: source\n"
         "                                 start and end markers, source file, target\n"
         "                                 start and end markers, target file\n"
         "  [system_command]               none; then one command line a line\n"
         "\n"
         "Without options: exit status 1 when the script ran to its end, 0 otherwise.\n"
         "The manual: man quillmend, or README.md beside the program.\n";
}

std::string version_text() {
  return "quillmend " QUILLMEND_VERSION
         "\n"
         "Copyright Quillmend contributors; MIT licence, see LICENSE.\n";
}

}  // namespace quillmend
