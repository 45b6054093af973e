#include "engine/replace_in_file.h"

#include "common/shown_text.h"
#include "common/write_if_changed.h"
#include "engine/progress_line.h"
#include "engine/stream_replace.h"

namespace quillmend {
namespace {

// Ends a console line that names a file: `before`, the path as the console
// shows it, `after`; then the located line about `what` with its reason.
bool fail_with(platform& os, reporter& report, const char* before,
               const std::string& path, const char* after, const std::string& what,
               const std::string& reason) {
  os.console() << before << shown{path, os.console_is_terminal()} << after;
  end_line(os.console());
  report.note_about(what, reason);
  return false;
}

// Passes reads through and keeps the first read error, so that a failure in
// the middle of the stream can be told apart from a write error: the console
// line says "write" either way, the located line names what failed.
class read_watch : public input_file {
 public:
  explicit read_watch(input_file& in) : in_(in) {}
  status read(char* buffer, std::size_t size, std::size_t& count) override {
    status result = in_.read(buffer, size, count);
    if (!result.is_ok() && error_.is_ok()) error_ = result;
    return result;
  }
  std::int64_t size() const override { return in_.size(); }
  const status& error() const { return error_; }

 private:
  input_file& in_;
  status error_;
};

}  // namespace

bool replace_in_file(replace_job job, platform& os, reporter& report) {
  replace_files files;
  files.open_input = [&os](const std::string& in_path) { return os.open_input(in_path); };
  files.open_output = [&os](const std::string& out_path, const std::string& in_path) {
    os.make_parent_dirs(out_path);
    return open_if_changed(os, out_path, in_path);
  };
  return replace_through_files(std::move(job), files, os, report);
}

bool replace_through_files(replace_job job, const replace_files& files, platform& os,
                           reporter& report) {
  const std::size_t name_start = job.name_line.find_first_not_of(" \t");
  if (name_start == std::string::npos && !job.name_line.empty()) return true;

  // A name line may be as long as memory allows: it is held once in the
  // path and nowhere else, and the console and located lines are written
  // from the path piece by piece.
  const std::size_t name_at = job.source_dir.size() + 1;
  std::string in_path;
  in_path.reserve(name_at + job.name_line.size());
  in_path.append(job.source_dir).append("\\");
  if (name_start != std::string::npos) in_path.append(job.name_line, name_start);
  std::string().swap(job.name_line);

  const bool terminal = os.console_is_terminal();
  opened<input_file> input = files.open_input(in_path);
  if (!input.result.is_ok())
    return fail_with(os, report, "open ", in_path, " failed.", in_path,
                     input.result.reason());
  os.console() << shown{in_path, terminal} << ' ';

  // Refused before anything is created, so an existing target stays whole.
  if (job.find_text.empty())
    return fail_with(os, report, "", "", "the text you want to replace can't be NULL.",
                     in_path, "the text to find is empty");

  const std::string out_path = job.target_dir + "\\" + in_path.substr(name_at);
  opened<changed_file> output = files.open_output(out_path, in_path);
  if (!output.result.is_ok())
    return fail_with(os, report, "open ", out_path, " failed.", out_path,
                     output.result.reason());

  replace_options options;
  options.find_text = std::move(job.find_text);
  options.replace_text = std::move(job.replace_text);
  options.ignore_case = job.ignore_case;
  progress_line progress(os.console(), terminal, input.file->size(), steady_seconds);
  options.on_progress = [&progress](std::uint64_t done) { progress.update(done); };
  read_watch watched(*input.file);
  std::uint64_t replacements = 0;
  status result = stream_replace(watched, *output.file, options, &replacements);
  progress.erase();
  if (!watched.error().is_ok())
    return fail_with(os, report, "write ", out_path, " failed.", in_path,
                     "read failed: " + watched.error().reason());
  if (result.is_ok()) {
    const status same = input.file->unchanged();
    if (!same.is_ok())
      return fail_with(os, report, "write ", out_path, " failed.", in_path,
                       same.reason());
  }
  // Closed before the rename: Windows cannot replace a file that is open.
  input.file.reset();
  if (result.is_ok()) result = output.file->commit();
  if (!result.is_ok())
    return fail_with(os, report, output.file->open_failed() ? "open " : "write ",
                     out_path, " failed.", out_path, result.reason());

  os.console() << "to " << shown{out_path, terminal} << " successed!";
  end_line(os.console());
  report.file_replaced(out_path, replacements, !output.file->left_unchanged());
  return true;
}

}  // namespace quillmend
