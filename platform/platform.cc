#include "platform/platform.h"

#include "common/ascii.h"
#include "common/write_if_changed.h"
#include "platform/copy_stream.h"

namespace quillmend {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

class path_work_file : public work_file {
 public:
  path_work_file(platform& os, std::string path, std::unique_ptr<replacement_file> file)
      : os_(os), path_(std::move(path)), file_(std::move(file)) {}
  status write(const char* data, std::size_t size) override {
    return file_->write(data, size);
  }
  status commit() override { return file_->commit(); }
  opened<input_file> read_back(open_mode mode) override {
    return os_.open_input(path_, mode);
  }

 private:
  platform& os_;
  std::string path_;
  std::unique_ptr<replacement_file> file_;
};

class path_work_folder : public work_folder {
 public:
  path_work_folder(platform& os, std::string path) : os_(os), path_(std::move(path)) {}
  opened<work_file> create_file(const std::string& name) override {
    const std::string path = path_ + "\\" + name;
    opened<replacement_file> file = os_.open_replacement(path, "");
    if (!file.result.is_ok()) return {nullptr, file.result};
    return {std::make_unique<path_work_file>(os_, path, std::move(file.file)),
            status::ok()};
  }
  std::unique_ptr<file_lock> lock(const std::string& name,
                                  const std::function<void()>&) override {
    return os_.lock_file(path_ + "\\" + name);
  }

 private:
  platform& os_;
  std::string path_;
};

}  // namespace

opened<work_folder> platform::open_work_folder(const std::string& path, bool create) {
  if (create) make_dirs(path);
  if (!is_dir(path))
    return {nullptr, status::not_found("The system cannot find the path specified")};
  return {std::make_unique<path_work_folder>(*this, path), status::ok()};
}

std::string platform::path_key(const std::string& path) const {
  std::string key = native_path(path);
  if (kind() == platform_kind::windows)
    for (char& c : key) c = c == '/' ? '\\' : to_lower_ascii(c);
  return key;
}

void platform::make_parent_dirs(const std::string& path) {
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (!is_separator(path[i])) continue;
    std::string folder = path.substr(0, i);
    if (known_folders_.count(folder) > 0) continue;
    make_dir(folder);
    known_folders_.insert(std::move(folder));
  }
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
  // A target that already holds the same bytes is left as it is.
  opened<changed_file> target = open_if_changed(*this, to, from, open_mode::binary);
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
