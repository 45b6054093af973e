// The outcome of one operating-system call, as the rest of the tool sees it.
//
// A missing file is kept apart from every other failure because callers
// treat "there is nothing there" differently from "it is there but broken".
// The reason is the system's own wording (strerror or FormatMessage) and
// never includes the path: callers put the path into their own messages.
#ifndef QUILLMEND_PLATFORM_STATUS_H_
#define QUILLMEND_PLATFORM_STATUS_H_

#include <string>
#include <utility>

namespace quillmend {

class status {
 public:
  enum class code { ok, not_found, failed };

  status() = default;
  static status ok() { return status(); }
  static status not_found(std::string reason) {
    return status(code::not_found, std::move(reason));
  }
  static status failed(std::string reason) {
    return status(code::failed, std::move(reason));
  }

  bool is_ok() const { return code_ == code::ok; }
  bool is_not_found() const { return code_ == code::not_found; }
  const std::string& reason() const { return reason_; }

 private:
  status(code c, std::string reason) : code_(c), reason_(std::move(reason)) {}

  code code_ = code::ok;
  std::string reason_;
};

}  // namespace quillmend

#endif  // QUILLMEND_PLATFORM_STATUS_H_
