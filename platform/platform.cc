#include "platform/platform.h"

#include "platform/copy_stream.h"

namespace quillmend {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

}  // namespace

void platform::make_parent_dirs(const std::string& path) {
  for (std::size_t i = 1; i < path.size(); ++i)
    if (is_separator(path[i])) make_dir(path.substr(0, i));
}

status platform::make_dirs(const std::string& path) {
  status last;
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && !is_separator(path[i])) continue;
    status made = make_dir(path.substr(0, i));
    if (!made.is_ok()) last = made;
  }
  if (is_dir(path)) return status::ok();
  return last.is_ok() ? status::failed("Not a directory") : last;
}

status platform::copy_file(const std::string& from, const std::string& to) {
  opened<input_file> source = open_input(from, open_mode::binary);
  if (!source.result.is_ok()) return source.result;
  opened<replacement_file> target = open_replacement(to, from, open_mode::binary);
  if (!target.result.is_ok()) return target.result;
  status copied = copy_stream(*source.file, *target.file);
  if (copied.is_ok()) copied = source.file->unchanged();
  if (!copied.is_ok()) return copied;
  // Closed before the rename: Windows cannot replace a file that is open,
  // and `to` may name the source itself.
  source.file.reset();
  return target.file->commit();
}

}  // namespace quillmend
