// The handler of txt_content_replace and txt_content_replace_no_case lines,
// also used by copy sections to rename their list of names.
//
// For the file named by the job's name line (leading blanks skipped; a line
// of blanks alone is skipped whole) it writes source_dir\name to
// target_dir\name with every occurrence of find_text replaced by
// replace_text, creating the target's missing folders. One console line per
// file: "<in_path> to <out_path> successed!" or a failure:
//   "open <in_path> failed."             the input is missing or unreadable
//   "<in_path> the text you want to replace can't be NULL."
//   "<in_path> open <out_path> failed."  the target cannot be created
//   "<in_path> write <out_path> failed." a read or write error
// A missing input is never created. The target is replaced in one step once
// the whole copy is written; after any failure it is as it was. Source and
// target may be the same file.
#ifndef QUILLMEND_ENGINE_REPLACE_IN_FILE_H_
#define QUILLMEND_ENGINE_REPLACE_IN_FILE_H_

#include <functional>
#include <string>

#include "common/reporter.h"
#include "common/write_if_changed.h"
#include "platform/platform.h"

namespace quillmend {

struct replace_job {
  std::string find_text;
  std::string replace_text;
  bool ignore_case = false;
  std::string source_dir;
  std::string target_dir;
  std::string name_line;  // as written in the script
};

// Every failure also writes its located line, with the reason, to `report`.
// The job is taken by value so that a long name line can be moved in and let
// go of as soon as it is part of the path.
bool replace_in_file(replace_job job, platform& os, reporter& report);

// Where a replace reads and writes when it is not the files that the job's
// paths name: the copy section's work lists, which are held open and never
// reopened by name. The paths are those of the console lines.
struct replace_files {
  std::function<opened<input_file>(const std::string& in_path)> open_input;
  std::function<opened<changed_file>(const std::string& out_path,
                                     const std::string& in_path)>
      open_output;
};

// replace_in_file, reading and writing through `files`.
bool replace_through_files(replace_job job, const replace_files& files, platform& os,
                           reporter& report);

}  // namespace quillmend

#endif  // QUILLMEND_ENGINE_REPLACE_IN_FILE_H_
