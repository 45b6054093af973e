#include "splice/marked_lines.h"

#include <algorithm>
#include <cstring>

#include "engine/text_matcher.h"

namespace quillmend {

line_marker::line_marker(const std::string& text)
    : matcher_(text.empty() ? nullptr
                            : std::make_shared<const text_matcher>(text, false)) {}

marked_lines::marked_lines(std::unique_ptr<input_file> scan,
                           std::unique_ptr<input_file> copy, std::size_t block_size)
    : scan_(std::move(scan), block_size), copy_(std::move(copy), block_size) {}

const status& marked_lines::error() const {
  return scan_.error().is_ok() ? copy_.error() : scan_.error();
}

status marked_lines::unchanged() const {
  status result = scan_.file().unchanged();
  return result.is_ok() ? copy_.file().unchanged() : result;
}

bool marked_lines::piece_contains(const char* piece, std::size_t size,
                                  const line_marker& marker) {
  const text_matcher& matcher = marker.matcher();
  bool found = false;
  const auto note = [&found](std::size_t) { found = true; };
  if (tail_.empty()) {
    matcher.for_each_match(piece, size, note);
  } else {
    // The marker may straddle two pieces of a long line.
    tail_.append(piece, size);
    matcher.for_each_match(tail_.data(), tail_.size(), note);
  }
  if (!found) {
    const std::size_t keep = marker.length() - 1;
    if (tail_.empty())
      tail_.assign(piece + size - std::min(keep, size), std::min(keep, size));
    else if (tail_.size() > keep)
      tail_.erase(0, tail_.size() - keep);
  }
  return found;
}

bool marked_lines::next_line(const line_marker& marker, bool& contains) {
  line_length_ = 0;
  line_has_feed_ = false;
  tail_.clear();
  contains = marker.empty();
  while (scan_.fill()) {
    const char* start = scan_.data();
    const void* feed = std::memchr(start, '\n', scan_.available());
    const std::size_t piece =
        feed == nullptr
            ? scan_.available()
            : static_cast<std::size_t>(static_cast<const char*>(feed) - start);
    if (!contains && piece > 0) contains = piece_contains(start, piece, marker);
    line_length_ += piece;
    scan_.consume(piece);
    if (feed != nullptr) {
      scan_.consume(1);
      line_has_feed_ = true;
      return true;
    }
  }
  return scan_.error().is_ok() && line_length_ > 0;
}

status marked_lines::move_line(replacement_file* out) {
  std::uint64_t remaining = line_length_ + (line_has_feed_ ? 1 : 0);
  while (remaining > 0) {
    if (!copy_.fill()) {
      // The file changed under us: the two readers no longer agree.
      return copy_.error().is_ok() ? status::failed("file changed while read")
                                   : copy_.error();
    }
    const std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(remaining, copy_.available()));
    if (out != nullptr) {
      status written = out->write(copy_.data(), take);
      if (!written.is_ok()) return written;
    }
    copy_.consume(take);
    remaining -= take;
  }
  if (out != nullptr && !line_has_feed_) return out->write("\n", 1);
  return status::ok();
}

status marked_lines::write_line(replacement_file& out) { return move_line(&out); }

status marked_lines::skip_line() { return move_line(nullptr); }

}  // namespace quillmend
