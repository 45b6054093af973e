// A platform in front of the real one that lets a run be seen before it is
// made: --dry-run and --diff.
//
// Every file the run writes goes first to a scratch file in a private
// folder. In a dry run it stays there: later reads of that path, listings of
// its folder and folders made on the way see it (an overlay), so each line
// sees what the lines before it would have written, and nothing outside the
// scratch folder is created, written, renamed or run. With --diff, the old
// and the new content of each file that changes are compared when the file
// is committed, and the unified diff is written on the console once the
// handler has written its line for that file; in a real run the scratch
// file then replaces the target as usual.
//
// The shared work files under c:\temp are overlaid like any other file in a
// dry run (so they are not touched) and never shown in a diff.
#ifndef QUILLMEND_PREVIEW_PREVIEW_PLATFORM_H_
#define QUILLMEND_PREVIEW_PREVIEW_PLATFORM_H_

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quillmend {

struct preview_options {
  bool dry_run = false;
  bool diff = false;
  bool colour = false;  // colours in the diff
};

class preview_platform : public platform {
 public:
  preview_platform(platform& real, preview_options options);
  // Removes the scratch files and their folder.
  ~preview_platform() override;

  // Makes the scratch folder; the platform is not usable when this fails.
  status start();

  // Writes the diffs waiting for the end of their file's console line.
  void write_waiting_diffs();

  // Commands a dry run did not run.
  std::uint64_t commands_not_run() const { return commands_not_run_; }

  std::ostream& console() override { return real_.console(); }
  std::ostream& diagnostics() override { return real_.diagnostics(); }
  bool console_is_terminal() override { return real_.console_is_terminal(); }
  bool diagnostics_is_terminal() override { return real_.diagnostics_is_terminal(); }
  platform_kind kind() const override { return real_.kind(); }
  std::string native_path(const std::string& path) const override {
    return real_.native_path(path);
  }

  opened<input_file> open_input(const std::string& path, open_mode mode) override;
  opened<replacement_file> open_replacement(const std::string& target,
                                            const std::string& mode_source,
                                            open_mode mode) override;
  status make_dir(const std::string& path) override;
  bool is_dir(const std::string& path) override;
  status make_temp_dir(std::string& path) override { return real_.make_temp_dir(path); }
  status remove_file(const std::string& path) override;
  status remove_dir(const std::string& path) override;
  status list_matching(const std::string& path_pattern,
                       std::vector<std::string>& names) override;
  status list_folder(const std::string& folder,
                     std::vector<folder_entry>& entries) override;
  void run_command(const std::string& command_line) override;
  void run_interactive_interpreter() override;
  void pause() override;
  std::unique_ptr<file_lock> lock_file(const std::string& path) override;
  opened<work_folder> open_work_folder(const std::string& path, bool create) override;

  // What a replacement calls when it is committed: `scratch` holds the new
  // content of `target`.
  status commit_scratch(const std::string& target, const std::string& mode_source,
                        const std::string& scratch);

 private:
  struct overlaid_file {
    std::string path;     // as the run wrote it
    std::string scratch;  // where its content is
  };

  std::string new_scratch_path();
  bool parent_exists(const std::string& path);
  void queue_diff(const std::string& target, const std::string& scratch);
  void report_diff_failure(const std::string& target, const status& why);
  status replace_for_real(const std::string& target, const std::string& mode_source,
                          const std::string& scratch);

  platform& real_;
  preview_options options_;
  std::string scratch_dir_;
  std::uint64_t scratch_count_ = 0;
  std::map<std::string, overlaid_file> files_;  // by path_key(path)
  std::map<std::string, std::string> folders_;  // folders made: path_key(path) -> path
  std::vector<std::string> waiting_diffs_;      // scratch files holding diffs
  std::uint64_t commands_not_run_ = 0;
};

}  // namespace quillmend

#endif  // QUILLMEND_PREVIEW_PREVIEW_PLATFORM_H_
