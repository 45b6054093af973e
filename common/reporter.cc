#include "common/reporter.h"

#include <utility>

namespace quillmend {

reporter::reporter(platform& os, std::string script_name)
    : os_(os), script_name_(std::move(script_name)) {}

std::string reporter::describe(const std::string& path) const {
  const std::string native = os_.native_path(path);
  return native == path ? path : path + " (" + native + ")";
}

void reporter::note(const std::string& message) {
  // The console's lines so far come first, as a person reading both expects.
  os_.console().flush();
  os_.diagnostics() << "quillmend: " << script_name_ << ':' << line_ << ": " << message;
  end_line(os_.diagnostics());
}

void reporter::failure_that_goes_on(const std::string& message) {
  ++failures_that_went_on_;
  note(message);
}

}  // namespace quillmend
