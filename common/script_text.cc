#include "common/script_text.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quillmend {
namespace {

constexpr char kEndOfFile = '\x1A';
constexpr char32_t kReplacement = 0xFFFD;

bool starts_with(const buffered_reader& in, const char* mark, std::size_t length) {
  return in.available() >= length && std::memcmp(in.data(), mark, length) == 0;
}

char32_t utf16_unit(const char* bytes) {
  return static_cast<char32_t>(static_cast<unsigned char>(bytes[0]) |
                               (static_cast<unsigned char>(bytes[1]) << 8));
}

bool is_high_surrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void append_utf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

script_text::script_text(std::unique_ptr<input_file> raw) : raw_(std::move(raw)) {}

script_encoding script_text::encoding() {
  if (detected_) return encoding_;
  detected_ = true;
  // A read error here stays in raw_ and reaches the caller with the first
  // read, like any other.
  raw_.fill(3);
  if (starts_with(raw_, "\xEF\xBB\xBF", 3)) {
    raw_.consume(3);
    encoding_ = script_encoding::utf8;
  } else if (starts_with(raw_, "\xFF\xFE", 2)) {
    raw_.consume(2);
    encoding_ = script_encoding::utf16le;
  }
  return encoding_;
}

status script_text::read(char* buffer, std::size_t size, std::size_t& count) {
  count = 0;
  if (encoding() != script_encoding::utf16le) return read_bytes(buffer, size, count);
  if (pending_start_ == pending_.size()) {
    pending_.clear();
    pending_start_ = 0;
    convert_utf16(size);
  }
  count = std::min(size, pending_.size() - pending_start_);
  std::memcpy(buffer, pending_.data() + pending_start_, count);
  pending_start_ += count;
  return count > 0 ? status::ok() : raw_.error();
}

status script_text::read_bytes(char* buffer, std::size_t size, std::size_t& count) {
  if (size == 0 || !raw_.fill()) return raw_.error();
  std::size_t run = std::min(size, raw_.available());
  // A 0x1A that ends what has been read may be the last byte of the file:
  // it is handed out only once a byte after it shows that it is not.
  if (run == raw_.available() && raw_.data()[run - 1] == kEndOfFile) {
    if (run > 1) {
      --run;
    } else {
      raw_.fill(2);
      if (raw_.available() == 1) {
        if (!raw_.error().is_ok()) return raw_.error();
        raw_.consume(1);
        return status::ok();
      }
    }
  }
  std::memcpy(buffer, raw_.data(), run);
  raw_.consume(run);
  count = run;
  return status::ok();
}

void script_text::convert_utf16(std::size_t wanted) {
  wanted = std::max<std::size_t>(wanted, 4);
  while (pending_.size() < wanted && raw_.fill(2)) {
    if (raw_.available() < 2) {
      // An odd last byte: the DOS end-of-file mark, or half a character.
      if (!raw_.error().is_ok()) return;
      const char last = raw_.data()[0];
      raw_.consume(1);
      if (last != kEndOfFile) append_utf8(kReplacement, pending_);
      continue;
    }
    append_utf8(next_utf16_character(), pending_);
  }
}

char32_t script_text::next_utf16_character() {
  const char32_t unit = utf16_unit(raw_.data());
  raw_.consume(2);
  if (is_low_surrogate(unit)) return kReplacement;
  if (!is_high_surrogate(unit)) return unit;
  raw_.fill(2);
  if (raw_.available() < 2) return kReplacement;
  const char32_t low = utf16_unit(raw_.data());
  // An unpaired high surrogate leaves the unit after it to be read on its own.
  if (!is_low_surrogate(low)) return kReplacement;
  raw_.consume(2);
  return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
}

opened<input_file> open_script(platform& os, const std::string& path) {
  opened<input_file> file = os.open_script(path);
  if (!file.result.is_ok()) return file;
  auto text = std::make_unique<script_text>(std::move(file.file));
  if (text->encoding() == script_encoding::utf16le) {
    file = os.open_input(path, open_mode::binary);
    if (!file.result.is_ok()) return file;
    text = std::make_unique<script_text>(std::move(file.file));
  }
  os.set_name_encoding(text->encoding() == script_encoding::unmarked
                           ? name_encoding::native
                           : name_encoding::utf8);
  return {std::move(text), status::ok()};
}

}  // namespace quillmend
