#include "common/reporter.h"

#include <utility>

#include "common/shown_text.h"

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
  note(message);
}

}  // namespace quillmend
