#include "engine/replace_in_file.h"

#include "engine/progress_line.h"
#include "engine/stream_replace.h"

namespace quillmend {
namespace {

bool fail_with(platform& os, const std::string& message) {
  os.console() << message;
  end_line(os.console());
  return false;
}

}  // namespace

void make_parent_dirs(platform& os, const std::string& path) {
  // A slash separates folders on every platform the tool runs on, so it is
  // honoured as well as the backslash.
  for (std::size_t i = 1; i < path.size(); ++i)
    if (path[i] == '\\' || path[i] == '/') os.make_dir(path.substr(0, i));
}

bool replace_in_file(const script_state& state, platform& os) {
  const std::string& line = state.current_line;
  const std::size_t name_start = line.find_first_not_of(" \t");
  if (name_start == std::string::npos && !line.empty()) return true;
  const std::string name = name_start == std::string::npos ? "" : line.substr(name_start);

  const std::string in_path = state.source_dir + "\\" + name;
  opened<input_file> input = os.open_input(in_path);
  if (!input.result.is_ok()) return fail_with(os, "open " + in_path + " failed.");
  os.console() << in_path << ' ';

  // Refused before anything is created, so an existing target stays whole.
  if (state.find_text.empty())
    return fail_with(os, "the text you want to replace can't be NULL.");

  const std::string out_path = state.target_dir + "\\" + name;
  make_parent_dirs(os, out_path);
  opened<replacement_file> output = os.open_replacement(out_path, in_path);
  if (!output.result.is_ok()) return fail_with(os, "open " + out_path + " failed.");

  replace_options options;
  options.find_text = state.find_text;
  options.replace_text = state.replace_text;
  options.ignore_case = state.ignore_case;
  progress_line progress(os.console(), os.console_is_terminal(), input.file->size(),
                         steady_seconds);
  options.on_progress = [&progress](std::uint64_t done) { progress.update(done); };
  status result = stream_replace(*input.file, *output.file, options);
  progress.erase();
  // Closed before the rename: Windows cannot replace a file that is open.
  input.file.reset();
  if (result.is_ok()) result = output.file->commit();
  if (!result.is_ok()) return fail_with(os, "write " + out_path + " failed.");

  os.console() << "to " << out_path << " successed!";
  end_line(os.console());
  return true;
}

}  // namespace quillmend
