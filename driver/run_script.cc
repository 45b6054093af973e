#include "driver/run_script.h"

#include "copy/copy_files.h"
#include "driver/section_header.h"
#include "common/work_files.h"
#include "engine/replace_in_file.h"
#include "platform/commands.h"
#include "splice/splice_block.h"

namespace quillmend {
namespace {

const char* failure_message(section_mode mode) {
  switch (mode) {
    case section_mode::txt_content_replace:
      return "\ntxt_content_replace error.\n";
    case section_mode::txt_content_replace_no_case:
      return "\ntxt_content_replace_no_case error. \n";
    case section_mode::copy_file:
      return "\ncopy_file error.\n";
    case section_mode::txt_content_replace_txt:
      return "txt_content_replace_txt error.\n";
    case section_mode::system_command:
      break;
  }
  return "";
}

bool splice_and_copy_back(script_state& state, platform& os) {
  // The work file is shared by every run: hold it until the copy-back is done.
  const std::unique_ptr<work_lock> lock = os.lock_work_folder();
  if (!splice_block(state, os)) return false;
  copy_and_report(os, kSplicedWorkFile, state.target_dir);
  return true;
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

bool dispatch_line(script_state& state, platform& os) {
  switch (state.operation_mode) {
    case section_mode::txt_content_replace:
    case section_mode::txt_content_replace_no_case:
      return replace_in_file(state, os);
    case section_mode::copy_file: {
      const std::unique_ptr<work_lock> lock = os.lock_work_folder();
      return copy_files(state, os);
    }
    case section_mode::txt_content_replace_txt:
      return splice_and_copy_back(state, os);
    case section_mode::system_command:
      os.run_command(state.current_line);
      return true;
  }
  return false;
}

int run_script(int argument_count, const char* const arguments[], platform& os) {
  if (argument_count != 2) {
    show_usage(os);
    return 0;
  }
  const std::string script_file = arguments[1];
  opened<input_file> script = os.open_input(script_file);
  if (!script.result.is_ok()) {
    os.console() << "open " << script_file << " failed.";
    end_line(os.console());
    return 0;
  }
  script_state state;
  state.script_stream = std::make_unique<line_reader>(std::move(script.file));
  for (;;) {
    if (!state.script_stream->read_line(state.current_line)) {
      if (state.script_stream->failed()) {
        os.console() << "read " << script_file << " failed.";
        end_line(os.console());
        return 0;
      }
      os.pause();
      return 1;
    }
    if (!state.current_line.empty() && state.current_line[0] == '[') {
      if (!parse_section_header(state)) {
        os.console() << "\nSwitch operation mode error, check you script file.\n";
        return 0;
      }
    } else if (!dispatch_line(state, os)) {
      os.console() << failure_message(state.operation_mode);
      return 0;
    }
  }
}

}  // namespace quillmend
