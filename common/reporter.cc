#include "common/reporter.h"

#include <iomanip>
#include <sstream>
#include <utility>

#include "common/shown_text.h"
#include "common/work_files.h"

namespace quillmend {

reporter::reporter(platform& os, std::string script_name)
    : os_(os), script_name_(std::move(script_name)) {}

std::string reporter::describe(const std::string& path) const {
  const std::string native = os_.native_path(path);
  return native == path ? path : path + " (" + native + ")";
}

void reporter::start_note() {
  // The console's lines so far come first, as a person reading both expects.
  os_.console().flush();
  os_.diagnostics() << "quillmend: " << shown{script_name_, os_.diagnostics_is_terminal()}
                    << ':' << line_ << ": ";
}

void reporter::note(const std::string& message) {
  start_note();
  os_.diagnostics() << shown{message, os_.diagnostics_is_terminal()};
  end_line(os_.diagnostics());
}

void reporter::note_about(const std::string& path, const std::string& reason) {
  start_note();
  const bool terminal = os_.diagnostics_is_terminal();
  std::ostream& out = os_.diagnostics();
  out << shown{path, terminal};
  {
    const std::string native = os_.native_path(path);
    if (native != path) out << " (" << shown{native, terminal} << ')';
  }
  out << ": " << shown{reason, terminal};
  end_line(out);
}

void reporter::failure_that_goes_on(const std::string& message) {
  ++failures_that_went_on_;
  ++counts_.failures;
  note(message);
}

void reporter::preview_line(const std::string& text) {
  if (!preview_) return;
  os_.console() << "  " << text;
  end_line(os_.console());
}

void reporter::file_done() {
  if (after_each_file_) after_each_file_();
}

void reporter::file_replaced(const std::string& out_path, std::uint64_t replacements,
                             bool changed) {
  // The copy section's lists of names are the tool's own business.
  if (out_path == kNewListFile) return;
  ++counts_.files_read;
  counts_.replacements += replacements;
  ++(changed ? counts_.files_changed : counts_.files_unchanged);
  preview_line(changed ? "would write " + out_path + ": " + std::to_string(replacements) +
                             (replacements == 1 ? " replacement" : " replacements")
                       : out_path + ": unchanged");
  file_done();
}

void reporter::file_copied(const std::string& from, const std::string& to) {
  ++counts_.files_copied;
  preview_line("would copy " + from + " to " + to);
  file_done();
}

void reporter::block_spliced(const std::string& target, std::uint64_t first_line,
                             std::uint64_t removed, std::uint64_t inserted) {
  counts_.files_read += 2;
  const bool changed = removed > 0 || inserted > 0;
  ++(changed ? counts_.files_changed : counts_.files_unchanged);
  std::string text = "would splice " + target + ": ";
  const std::string lines_inserted =
      std::to_string(inserted) + (inserted == 1 ? " line" : " lines");
  if (removed == 0) {
    text += "insert " + lines_inserted + " before line " + std::to_string(first_line);
  } else {
    text += "replace line" + std::string(removed == 1 ? " " : "s ") +
            std::to_string(first_line) +
            (removed == 1 ? "" : " to " + std::to_string(first_line + removed - 1)) +
            " by " + lines_inserted;
  }
  preview_line(text);
  file_done();
}

namespace {

std::string counted(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string reporter::summary(double seconds) const {
  std::ostringstream elapsed;
  elapsed << std::fixed << std::setprecision(2) << seconds << " s";
  return "quillmend: " + counted(counts_.files_read, "file read", "files read") + ", " +
         std::to_string(counts_.files_changed) + " changed, " +
         std::to_string(counts_.files_unchanged) + " unchanged, " +
         counted(counts_.replacements, "replacement", "replacements") + ", " +
         counted(counts_.files_copied, "file copied", "files copied") + ", " +
         counted(counts_.commands_run, "command run", "commands run") + ", " +
         counted(counts_.failures, "failure", "failures") + ", " + elapsed.str();
}

}  // namespace quillmend
