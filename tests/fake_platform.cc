#include "tests/fake_platform.h"

#include <algorithm>
#include <new>

#include "engine/stream_replace.h"
#include "platform/path_map.h"
#include "platform/wildcard.h"

namespace quillmend {

std::string parent_of(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? "" : path.substr(0, cut);
}

namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

class fake_input : public input_file {
 public:
  fake_input(fake_platform& os, std::string content)
      : os_(os), content_(std::move(content)) {}
  status read(char* buffer, std::size_t size, std::size_t& count) override {
    count = 0;
    if (os_.should_fail("read")) return status::failed("injected read error");
    if (os_.calls["read"] == os_.bad_alloc_at_read) throw std::bad_alloc();
    count = std::min({size, content_.size() - offset_, os_.read_chunk});
    std::copy_n(content_.data() + offset_, count, buffer);
    offset_ += count;
    return status::ok();
  }

 private:
  fake_platform& os_;
  std::string content_;
  std::size_t offset_ = 0;
};

class fake_replacement : public replacement_file {
 public:
  fake_replacement(fake_platform& os, std::string target)
      : os_(os), target_(std::move(target)) {}
  status write(const char* data, std::size_t size) override {
    if (os_.should_fail("write")) return status::failed("injected write error");
    content_.append(data, size);
    return status::ok();
  }
  status commit() override {
    if (os_.should_fail("commit")) return status::failed("injected commit error");
    os_.files[target_] = content_;
    return status::ok();
  }

 private:
  fake_platform& os_;
  std::string target_;
  std::string content_;
};

class fake_lock : public file_lock {
 public:
  explicit fake_lock(fake_platform& os) : os_(os) { ++os_.locks_held; }
  ~fake_lock() override { --os_.locks_held; }

 private:
  fake_platform& os_;
};

}  // namespace

void fake_platform::fail_call(const std::string& operation, int nth) {
  fail_at_[operation] = calls[operation] + nth;
  fail_once_.erase(operation);
}

void fake_platform::fail_once(const std::string& operation, int nth) {
  fail_at_[operation] = calls[operation] + nth;
  fail_once_.insert(operation);
}

bool fake_platform::should_fail(const std::string& operation) {
  const int call = ++calls[operation];
  const auto it = fail_at_.find(operation);
  if (it == fail_at_.end()) return false;
  return fail_once_.count(operation) > 0 ? call == it->second : call >= it->second;
}

void fake_platform::add_folder(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i)
    if (i == path.size() || is_separator(path[i])) folders.insert(path.substr(0, i));
}

void fake_platform::add_file(const std::string& path, const std::string& content) {
  if (!parent_of(path).empty()) add_folder(parent_of(path));
  files[path] = content;
}

bool fake_platform::folder_exists(const std::string& folder) const {
  return folder.empty() || is_bare_drive(folder) || folders.count(folder) > 0;
}

bool fake_platform::exists(const std::string& path) const {
  return files.count(path) > 0 || folders.count(path) > 0;
}

opened<input_file> fake_platform::open_input(const std::string& path, open_mode) {
  if (should_fail("open_input")) return {nullptr, status::failed("injected open error")};
  const auto it = files.find(path);
  if (it == files.end()) {
    if (folders.count(path) > 0 || path.empty() || is_separator(path.back()))
      return {nullptr, status::failed("Is a directory")};
    return {nullptr, status::not_found("No such file or directory")};
  }
  return {std::make_unique<fake_input>(*this, it->second), status::ok()};
}

opened<replacement_file> fake_platform::open_replacement(const std::string& target,
                                                         const std::string&, open_mode) {
  if (should_fail("open_replacement"))
    return {nullptr, status::failed("injected open error")};
  if (!folder_exists(parent_of(target)))
    return {nullptr, status::not_found("No such file or directory")};
  if (folders.count(target) > 0) return {nullptr, status::failed("Is a directory")};
  return {std::make_unique<fake_replacement>(*this, target), status::ok()};
}

status fake_platform::make_dir(const std::string& path) {
  if (should_fail("make_dir")) return status::failed("injected mkdir error");
  if (exists(path) || is_bare_drive(path)) return status::failed("File exists");
  if (!folder_exists(parent_of(path)))
    return status::not_found("No such file or directory");
  folders.insert(path);
  return status::ok();
}

bool fake_platform::is_dir(const std::string& path) { return folder_exists(path); }

status fake_platform::make_temp_dir(std::string& path) {
  for (int n = 1;; ++n) {
    path = "tmp" + std::to_string(n);
    if (exists(path)) continue;
    folders.insert(path);
    return status::ok();
  }
}

status fake_platform::remove_file(const std::string& path) {
  if (files.erase(path) == 0) return status::not_found("No such file or directory");
  return status::ok();
}

status fake_platform::remove_dir(const std::string& path) {
  for (const auto& file : files)
    if (parent_of(file.first) == path) return status::failed("Directory not empty");
  for (const std::string& folder : folders)
    if (parent_of(folder) == path) return status::failed("Directory not empty");
  if (folders.erase(path) == 0) return status::not_found("No such file or directory");
  return status::ok();
}

status fake_platform::list_matching(const std::string& path_pattern,
                                    std::vector<std::string>& names) {
  names.clear();
  if (should_fail("list_matching")) return status::failed("injected listing error");
  const listing_request request = split_listing_pattern(path_pattern);
  if (!folder_exists(request.folder))
    return status::not_found("No such file or directory");
  std::set<std::string> found;
  for (const auto& file : files)
    if (parent_of(file.first) == request.folder) found.insert(file.first);
  for (const std::string& folder : folders)
    if (parent_of(folder) == request.folder) found.insert(folder);
  for (const std::string& path : found) {
    const std::string name =
        request.folder.empty() ? path : path.substr(request.folder.size() + 1);
    if (!name.empty() && name[0] != '.' && wildcard_match(request.name_pattern, name))
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names.empty() ? status::not_found("File Not Found") : status::ok();
}

status fake_platform::list_folder(const std::string& folder,
                                  std::vector<folder_entry>& entries) {
  entries.clear();
  if (should_fail("list_folder")) return status::failed("injected listing error");
  if (!folder_exists(folder)) return status::not_found("No such file or directory");
  const auto add = [&](const std::string& path, folder_entry::type kind) {
    if (parent_of(path) != folder || path == folder) return;
    folder_entry entry;
    entry.name = folder.empty() ? path : path.substr(folder.size() + 1);
    entry.kind = kind;
    entry.hidden = !entry.name.empty() && entry.name[0] == '.';
    entries.push_back(entry);
  };
  for (const auto& file : files) add(file.first, folder_entry::type::file);
  for (const std::string& sub : folders) add(sub, folder_entry::type::folder);
  return status::ok();
}

void fake_platform::run_command(const std::string& command_line) {
  commands.push_back(command_line);
}

void fake_platform::run_interactive_interpreter() { commands.push_back(kInteractive); }

void fake_platform::pause() {
  out << "Press any key to continue . . . ";
  end_line(out);
  commands.push_back(kPaused);
}

std::unique_ptr<file_lock> fake_platform::lock_file(const std::string& path) {
  ++locks_taken;
  locked_paths.push_back(path);
  return std::make_unique<fake_lock>(*this);
}

std::string replace_through(fake_platform& os, const std::string& input,
                            const std::string& find, const std::string& replace,
                            bool ignore_case, std::size_t block, status& result) {
  os.add_file("in", input);
  opened<input_file> in = os.open_input("in");
  opened<replacement_file> out = os.open_replacement("out", "");
  replace_options options;
  options.find_text = find;
  options.replace_text = replace;
  options.ignore_case = ignore_case;
  options.block_size = block;
  result = stream_replace(*in.file, *out.file, options);
  if (result.is_ok()) result = out.file->commit();
  return os.files["out"];
}

}  // namespace quillmend
