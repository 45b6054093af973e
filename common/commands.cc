#include "common/commands.h"

#include <vector>

namespace quillmend {
bool copy_and_report(platform& os, reporter& report, const std::string& from,
                     const std::string& to) {
  const status result = os.copy_file(from, to);
  if (result.is_ok()) {
    report.file_copied(from, to);
    return true;
  }
  report.failure_that_goes_on("copy \"" + from + "\" to \"" + to +
                              "\" failed: " + result.reason());
  return false;
}

std::unique_ptr<work_file> write_listing(platform& os, reporter& report,
                                         const std::string& path_pattern,
                                         work_folder& folder, const std::string& name,
                                         const std::string& list_path) {
  std::vector<std::string> found;
  const status listed = os.list_matching(path_pattern, found);
  // Nothing found is an empty list; a folder that cannot be read is a
  // failure of the line, though its (empty) list still goes on.
  if (listed.is_not_found())
    report.note("dir \"" + path_pattern + "\": " + listed.reason());
  else if (!listed.is_ok())
    report.failure_that_goes_on("dir \"" + path_pattern + "\": " + listed.reason());
  // The list holds one name a line, and each name is later joined to a
  // folder with a backslash. A name holding a line end would split into
  // other names, and one holding a backslash (an ordinary character in a
  // POSIX name, such as "..\\x") would reach outside the folder: such
  // names are left out, never copied.
  std::vector<std::string> names;
  for (const std::string& entry : found) {
    if (entry.find_first_of("\\/\n\r") == std::string::npos) {
      names.push_back(entry);
      continue;
    }
    report.note("dir \"" + path_pattern + "\": \"" + entry +
                "\" left out: a name with a separator or a line end");
  }

  return write_name_list(report, names, folder, name, list_path);
}

std::unique_ptr<work_file> write_name_list(reporter& report,
                                           const std::vector<std::string>& names,
                                           work_folder& folder, const std::string& name,
                                           const std::string& list_path) {
  opened<work_file> list = folder.create_file(name);
  status written = list.result;
  for (const std::string& listed : names) {
    if (!written.is_ok()) break;
    written = list.file->write(listed.data(), listed.size());
    if (written.is_ok()) written = list.file->write("\n", 1);
  }
  if (written.is_ok()) written = list.file->commit();
  if (written.is_ok()) return std::move(list.file);
  report.note("write " + list_path + " failed: " + written.reason());
  return nullptr;
}

}  // namespace quillmend
