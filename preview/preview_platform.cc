#include "preview/preview_platform.h"

#include <algorithm>
#include <ostream>
#include <streambuf>
#include <utility>

#include "common/work_files.h"
#include "engine/unified_diff.h"
#include "platform/copy_stream.h"
#include "platform/path_map.h"
#include "platform/wildcard.h"

namespace quillmend {
namespace {

std::size_t last_separator(const std::string& path) { return path.find_last_of("\\/"); }

std::string parent_of(const std::string& path) {
  const std::size_t cut = last_separator(path);
  return cut == std::string::npos ? "" : path.substr(0, cut);
}

std::string name_of(const std::string& path) {
  const std::size_t cut = last_separator(path);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool is_work_file(const std::string& path) {
  for (const char* work_file : {kOldListFile, kNewListFile, kSplicedWorkFile})
    if (path == work_file) return true;
  return false;
}

// The bytes go to the scratch file; commit() hands it to the preview.
class scratch_replacement : public replacement_file {
 public:
  scratch_replacement(preview_platform& preview,
                      std::unique_ptr<replacement_file> scratch, std::string target,
                      std::string mode_source, std::string scratch_path)
      : preview_(preview),
        scratch_(std::move(scratch)),
        target_(std::move(target)),
        mode_source_(std::move(mode_source)),
        scratch_path_(std::move(scratch_path)) {}

  status write(const char* data, std::size_t size) override {
    return scratch_->write(data, size);
  }

  status commit() override {
    status done = scratch_->commit();
    if (!done.is_ok()) return done;
    return preview_.commit_scratch(target_, mode_source_, scratch_path_);
  }

 private:
  preview_platform& preview_;
  std::unique_ptr<replacement_file> scratch_;
  std::string target_;
  std::string mode_source_;
  std::string scratch_path_;
};

class no_lock : public file_lock {};

}  // namespace

preview_platform::preview_platform(platform& real, preview_options options)
    : real_(real), options_(options) {}

preview_platform::~preview_platform() {
  if (scratch_dir_.empty()) return;
  for (const auto& file : files_) real_.remove_file(file.second.scratch);
  for (const std::string& diff : waiting_diffs_) real_.remove_file(diff);
  real_.remove_dir(scratch_dir_);
}

status preview_platform::start() { return real_.make_temp_dir(scratch_dir_); }

std::string preview_platform::new_scratch_path() {
  const char separator = real_.kind() == platform_kind::windows ? '\\' : '/';
  return scratch_dir_ + separator + std::to_string(++scratch_count_);
}

bool preview_platform::parent_exists(const std::string& path) {
  const std::string parent = parent_of(path);
  // The current folder, a drive of its own and the root always exist.
  return parent.empty() || is_bare_drive(parent) || is_dir(parent) ||
         (last_separator(path) == 0);
}

opened<input_file> preview_platform::open_input(const std::string& path, open_mode mode) {
  if (options_.dry_run) {
    const auto it = files_.find(real_.path_key(path));
    if (it != files_.end()) return real_.open_input(it->second.scratch, mode);
  }
  return real_.open_input(path, mode);
}

opened<replacement_file> preview_platform::open_replacement(
    const std::string& target, const std::string& mode_source, open_mode mode) {
  if (options_.dry_run) {
    // As the real platform would refuse them, without asking it to write.
    if (!parent_exists(target))
      return {nullptr, status::not_found("No such file or directory")};
    if (is_dir(target)) return {nullptr, status::failed("Is a directory")};
  }
  const std::string scratch = new_scratch_path();
  opened<replacement_file> file = real_.open_replacement(scratch, "", mode);
  if (!file.result.is_ok()) return file;
  return {std::make_unique<scratch_replacement>(*this, std::move(file.file), target,
                                                mode_source, scratch),
          status::ok()};
}

status preview_platform::commit_scratch(const std::string& target,
                                        const std::string& mode_source,
                                        const std::string& scratch) {
  if (options_.diff && !is_work_file(target)) queue_diff(target, scratch);
  if (!options_.dry_run) return replace_for_real(target, mode_source, scratch);
  overlaid_file& entry = files_[real_.path_key(target)];
  if (!entry.scratch.empty()) real_.remove_file(entry.scratch);
  entry = {target, scratch};
  return status::ok();
}

status preview_platform::replace_for_real(const std::string& target,
                                          const std::string& mode_source,
                                          const std::string& scratch) {
  status result;
  {
    opened<input_file> from = real_.open_input(scratch, open_mode::binary);
    opened<replacement_file> to =
        from.result.is_ok()
            ? real_.open_replacement(target, mode_source, open_mode::binary)
            : opened<replacement_file>{nullptr, from.result};
    result = to.result;
    if (result.is_ok()) result = copy_stream(*from.file, *to.file);
    from.file.reset();
    if (result.is_ok()) result = to.file->commit();
  }
  real_.remove_file(scratch);
  return result;
}

status preview_platform::make_dir(const std::string& path) {
  if (!options_.dry_run) return real_.make_dir(path);
  if (is_bare_drive(path) || is_dir(path)) return status::failed("File exists");
  if (!parent_exists(path)) return status::not_found("No such file or directory");
  folders_[real_.path_key(path)] = path;
  return status::ok();
}

bool preview_platform::is_dir(const std::string& path) {
  if (options_.dry_run && folders_.count(real_.path_key(path)) > 0) return true;
  return real_.is_dir(path);
}

status preview_platform::remove_file(const std::string& path) {
  if (options_.dry_run) return status::failed("not removed in a dry run");
  return real_.remove_file(path);
}

status preview_platform::remove_dir(const std::string& path) {
  if (options_.dry_run) return status::failed("not removed in a dry run");
  return real_.remove_dir(path);
}

status preview_platform::list_matching(const std::string& path_pattern,
                                       std::vector<std::string>& names) {
  const status listed = real_.list_matching(path_pattern, names);
  if (!options_.dry_run) return listed;
  const listing_request request = split_listing_pattern(path_pattern);
  const std::string folder_key = real_.path_key(request.folder);
  std::vector<std::string> overlaid;
  const auto add_if_matching = [&](const std::string& path) {
    const std::string name = name_of(path);
    if (real_.path_key(parent_of(path)) == folder_key && !name.empty() &&
        name[0] != '.' && wildcard_match(request.name_pattern, name))
      overlaid.push_back(name);
  };
  for (const auto& file : files_) add_if_matching(file.second.path);
  if (overlaid.empty()) return listed;
  names.insert(names.end(), overlaid.begin(), overlaid.end());
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return status::ok();
}

status preview_platform::list_folder(const std::string& folder,
                                     std::vector<folder_entry>& entries) {
  status listed = real_.list_folder(folder, entries);
  if (!options_.dry_run) return listed;
  const std::string folder_key = real_.path_key(folder);
  if (!listed.is_ok() && folders_.count(folder_key) == 0) return listed;
  const auto add = [&](const std::string& path, folder_entry::type kind) {
    if (real_.path_key(parent_of(path)) != folder_key) return;
    const std::string name = name_of(path);
    for (const folder_entry& entry : entries)
      if (real_.path_key(entry.name) == real_.path_key(name)) return;
    folder_entry entry;
    entry.name = name;
    entry.kind = kind;
    entry.hidden = !name.empty() && name[0] == '.';
    entries.push_back(entry);
  };
  for (const auto& file : files_) add(file.second.path, folder_entry::type::file);
  for (const auto& made : folders_) add(made.second, folder_entry::type::folder);
  return status::ok();
}

void preview_platform::run_command(const std::string& command_line) {
  write_waiting_diffs();
  if (!options_.dry_run) return real_.run_command(command_line);
  ++commands_not_run_;
  console() << "not run: " << command_line;
  end_line(console());
}

void preview_platform::run_interactive_interpreter() {
  write_waiting_diffs();
  real_.run_interactive_interpreter();
}

void preview_platform::pause() {
  write_waiting_diffs();
  real_.pause();
}

opened<work_folder> preview_platform::open_work_folder(const std::string& path,
                                                       bool create) {
  // In a dry run the work files are overlaid like any other file: the
  // folder is worked by path, through this platform. Otherwise they are
  // the real platform's own business, never shown in a diff.
  if (options_.dry_run) return platform::open_work_folder(path, create);
  return real_.open_work_folder(path, create);
}

std::unique_ptr<file_lock> preview_platform::lock_file(const std::string& path) {
  // A dry run touches nothing that other runs share.
  if (options_.dry_run) return std::make_unique<no_lock>();
  return real_.lock_file(path);
}

namespace {

// An output stream into a replacement file, so that a long diff waits on
// disk rather than in memory.
class replacement_buffer : public std::streambuf {
 public:
  explicit replacement_buffer(replacement_file& file) : file_(file), buffer_(64 * 1024) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }

  const status& error() const { return error_; }

 protected:
  int_type overflow(int_type c) override {
    if (!flush_buffer()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  int sync() override { return flush_buffer() ? 0 : -1; }

 private:
  bool flush_buffer() {
    const std::size_t size = static_cast<std::size_t>(pptr() - pbase());
    if (size > 0 && error_.is_ok()) error_ = file_.write(pbase(), size);
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return error_.is_ok();
  }

  replacement_file& file_;
  std::vector<char> buffer_;
  status error_;
};

}  // namespace

void preview_platform::queue_diff(const std::string& target, const std::string& scratch) {
  const std::string diff_path = new_scratch_path();
  opened<replacement_file> diff_file =
      real_.open_replacement(diff_path, "", open_mode::binary);
  if (!diff_file.result.is_ok()) {
    report_diff_failure(target, diff_file.result);
    return;
  }
  replacement_buffer buffer(*diff_file.file);
  std::ostream out(&buffer);
  diff_style style;
  style.colour = options_.colour;
  status result;
  if (!open_input(target, open_mode::binary).result.is_ok()) {
    write_new_file_header(target, style, out);
  } else {
    bool differ = false;
    result = write_unified_diff(
        [this, &target] { return open_input(target, open_mode::binary); },
        [this, &scratch] { return real_.open_input(scratch, open_mode::binary); },
        {target, target}, style, out, differ);
  }
  out.flush();
  if (result.is_ok()) result = buffer.error();
  if (result.is_ok()) result = diff_file.file->commit();
  if (!result.is_ok()) {
    report_diff_failure(target, result);
    return;
  }
  waiting_diffs_.push_back(diff_path);
}

void preview_platform::report_diff_failure(const std::string& target, const status& why) {
  console().flush();
  diagnostics() << "quillmend: no diff of " << target << ": " << why.reason();
  end_line(diagnostics());
}

void preview_platform::write_waiting_diffs() {
  std::vector<char> block(64 * 1024);
  for (const std::string& path : waiting_diffs_) {
    opened<input_file> diff = real_.open_input(path, open_mode::binary);
    for (std::size_t got = 0; diff.result.is_ok();) {
      if (!diff.file->read(block.data(), block.size(), got).is_ok() || got == 0) break;
      console().write(block.data(), static_cast<std::streamsize>(got));
    }
    diff.file.reset();
    real_.remove_file(path);
  }
  if (!waiting_diffs_.empty()) console().flush();
  waiting_diffs_.clear();
}

}  // namespace quillmend
