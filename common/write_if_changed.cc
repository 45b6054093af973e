#include "common/write_if_changed.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "common/buffered_reader.h"
#include "platform/copy_stream.h"
#include "platform/text_mode.h"

namespace quillmend {
namespace {

// Takes the bytes as they are to be stored and compares them with the
// existing target until they differ.
class comparing_sink : public replacement_file {
 public:
  comparing_sink(platform& os, std::string target, std::string mode_source,
                 std::unique_ptr<input_file> existing)
      : os_(os),
        target_(std::move(target)),
        mode_source_(std::move(mode_source)),
        existing_(std::make_unique<buffered_reader>(std::move(existing))) {}

  status write(const char* data, std::size_t size) override {
    if (real_) return real_->write(data, size);
    while (size > 0) {
      if (!existing_->fill()) return diverge(data, size);
      const std::size_t n = std::min(size, existing_->available());
      if (std::memcmp(existing_->data(), data, n) != 0) return diverge(data, size);
      existing_->consume(n);
      matched_ += n;
      data += n;
      size -= n;
    }
    return status::ok();
  }

  status commit() override {
    if (!real_) {
      // Equal so far: unchanged unless the target goes on past the end.
      if (!existing_->fill() && existing_->error().is_ok()) {
        existing_.reset();
        unchanged_ = true;
        return status::ok();
      }
      status opened = diverge(nullptr, 0);
      if (!opened.is_ok()) return opened;
    }
    existing_.reset();
    return real_->commit();
  }

  bool left_unchanged() const { return unchanged_; }
  bool open_failed() const { return open_failed_; }

 private:
  // From here on the bytes go to a real replacement, which first gets the
  // matched bytes again from the target itself.
  status diverge(const char* data, std::size_t size) {
    existing_.reset();
    opened<replacement_file> real =
        os_.open_replacement(target_, mode_source_, open_mode::binary);
    if (!real.result.is_ok()) {
      open_failed_ = true;
      return real.result;
    }
    real_ = std::move(real.file);
    if (matched_ > 0) {
      opened<input_file> again = os_.open_input(target_, open_mode::binary);
      if (!again.result.is_ok()) return again.result;
      status copied = copy_prefix(*again.file, matched_);
      if (!copied.is_ok()) return copied;
    }
    return size > 0 ? real_->write(data, size) : status::ok();
  }

  status copy_prefix(input_file& from, std::uint64_t count) {
    std::vector<char> block(64 * 1024);
    while (count > 0) {
      std::size_t got = 0;
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(count, block.size()));
      status read = from.read(block.data(), want, got);
      if (!read.is_ok()) return read;
      if (got == 0) return status::failed("the target changed while it was compared");
      status written = real_->write(block.data(), got);
      if (!written.is_ok()) return written;
      count -= got;
    }
    return status::ok();
  }

  platform& os_;
  std::string target_;
  std::string mode_source_;
  std::unique_ptr<buffered_reader> existing_;
  std::unique_ptr<replacement_file> real_;
  std::uint64_t matched_ = 0;
  bool unchanged_ = false;
  bool open_failed_ = false;
};

// A direct replacement, for a target that cannot be compared with.
class direct_file : public changed_file {
 public:
  explicit direct_file(std::unique_ptr<replacement_file> real) : real_(std::move(real)) {}
  status write(const char* data, std::size_t size) override {
    return real_->write(data, size);
  }
  status commit() override { return real_->commit(); }
  bool left_unchanged() const override { return false; }
  bool open_failed() const override { return false; }

 private:
  std::unique_ptr<replacement_file> real_;
};

// The comparing sink, behind the text-mode conversion where there is one.
class compared_file : public changed_file {
 public:
  compared_file(std::unique_ptr<comparing_sink> sink, bool text_mode)
      : sink_(sink.get()) {
    if (text_mode)
      front_ = std::make_unique<crlf_output>(std::move(sink));
    else
      front_ = std::move(sink);
  }
  status write(const char* data, std::size_t size) override {
    return front_->write(data, size);
  }
  status commit() override { return front_->commit(); }
  bool left_unchanged() const override { return sink_->left_unchanged(); }
  bool open_failed() const override { return sink_->open_failed(); }

 private:
  comparing_sink* sink_;  // owned by front_
  std::unique_ptr<replacement_file> front_;
};

}  // namespace

opened<changed_file> open_if_changed(platform& os, const std::string& target,
                                     const std::string& mode_source, open_mode mode) {
  opened<input_file> existing = os.open_input(target, open_mode::binary);
  if (!existing.result.is_ok()) {
    opened<replacement_file> real = os.open_replacement(target, mode_source, mode);
    if (!real.result.is_ok()) return {nullptr, real.result};
    return {std::make_unique<direct_file>(std::move(real.file)), status::ok()};
  }
  const bool text_mode = mode == open_mode::text && os.kind() == platform_kind::windows;
  auto sink =
      std::make_unique<comparing_sink>(os, target, mode_source, std::move(existing.file));
  return {std::make_unique<compared_file>(std::move(sink), text_mode), status::ok()};
}

}  // namespace quillmend
