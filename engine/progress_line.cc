#include "engine/progress_line.h"

#include <chrono>
#include <string>

namespace quillmend {

double steady_seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

progress_line::progress_line(std::ostream& console, bool enabled,
                             std::int64_t total_bytes,
                             std::function<double()> seconds_now)
    : console_(console),
      enabled_(enabled && total_bytes > 0),
      total_(total_bytes > 0 ? static_cast<std::uint64_t>(total_bytes) : 0),
      seconds_now_(std::move(seconds_now)),
      started_(enabled_ ? seconds_now_() : 0) {}

void progress_line::update(std::uint64_t bytes_done) {
  if (!enabled_ || seconds_now_() - started_ < 1.0) return;
  const std::uint64_t done = bytes_done < total_ ? bytes_done : total_;
  const int percent = static_cast<int>(done * 100 / total_);
  if (percent == shown_percent_) return;
  std::string text = std::to_string(percent) + "%";
  text.insert(0, kWidth - text.size(), ' ');
  if (shown_percent_ >= 0) console_ << std::string(kWidth, '\b');
  console_ << text << std::flush;
  shown_percent_ = percent;
}

void progress_line::erase() {
  if (shown_percent_ < 0) return;
  const std::string back(kWidth, '\b');
  console_ << back << std::string(kWidth, ' ') << back << std::flush;
  shown_percent_ = -1;
}

}  // namespace quillmend
