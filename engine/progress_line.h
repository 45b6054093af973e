// Progress of one long file, shown in place at the end of its console line.
//
// Nothing is shown for the first second, so short files print exactly what
// they always print; after that the percentage is written and rewritten in
// place with backspaces, and erase() removes it before the line goes on.
// Disabled (console not a terminal, size unknown) it writes nothing at all.
#ifndef QUILLMEND_ENGINE_PROGRESS_LINE_H_
#define QUILLMEND_ENGINE_PROGRESS_LINE_H_

#include <cstdint>
#include <functional>
#include <ostream>

namespace quillmend {

class progress_line {
 public:
  // `seconds_now` is a monotonic clock; tests pass their own.
  progress_line(std::ostream& console, bool enabled, std::int64_t total_bytes,
                std::function<double()> seconds_now);
  ~progress_line() { erase(); }
  progress_line(const progress_line&) = delete;
  progress_line& operator=(const progress_line&) = delete;

  void update(std::uint64_t bytes_done);
  void erase();

 private:
  static constexpr int kWidth = 5;  // " 100%"

  std::ostream& console_;
  bool enabled_;
  std::uint64_t total_;
  std::function<double()> seconds_now_;
  double started_;
  int shown_percent_ = -1;
};

// A steady clock in seconds.
double steady_seconds();

}  // namespace quillmend

#endif  // QUILLMEND_ENGINE_PROGRESS_LINE_H_
