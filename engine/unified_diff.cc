#include "engine/unified_diff.h"

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/buffered_reader.h"

namespace quillmend {
namespace {

constexpr std::uint64_t kContext = 3;

constexpr const char* kBold = "\x1b[1m";
constexpr const char* kCyan = "\x1b[36m";
constexpr const char* kRed = "\x1b[31m";
constexpr const char* kGreen = "\x1b[32m";
constexpr const char* kReset = "\x1b[0m";

// Reads a file line by line, forward only, without ever holding a whole
// line: a line is handed out in pieces as they lie in the buffer. A line is
// its bytes up to and including its line feed; the last one may lack it.
class line_cursor {
 public:
  explicit line_cursor(std::unique_ptr<input_file> file) : in_(std::move(file)) {}

  // The next bytes of the current line, ending at its line feed or at the
  // end of the buffer. False once the line is complete (or the input ends).
  bool piece(const char*& data, std::size_t& size) {
    if (line_done_ || !in_.fill()) return false;
    data = in_.data();
    const void* line_feed = std::memchr(data, '\n', in_.available());
    size = line_feed
               ? static_cast<std::size_t>(static_cast<const char*>(line_feed) - data) + 1
               : in_.available();
    return true;
  }

  // Consumes `size` (at most the last piece's size, more than 0) bytes.
  void take(std::size_t size) {
    ended_with_line_feed_ = in_.data()[size - 1] == '\n';
    line_done_ = ended_with_line_feed_;
    in_.consume(size);
  }

  // Whether the current line exists: it has at least one byte.
  bool has_line() {
    const char* data = nullptr;
    std::size_t size = 0;
    return piece(data, size);
  }

  // Whether the line just read to its end had a line feed.
  bool ended_with_line_feed() const { return ended_with_line_feed_; }

  // Moves past the rest of the current line.
  void next_line() {
    const char* data = nullptr;
    std::size_t size = 0;
    while (piece(data, size)) take(size);
    line_done_ = false;
    ended_with_line_feed_ = false;
    ++line_;
  }

  // Makes line `line` (counted from 0) the current one; never goes back.
  void skip_to(std::uint64_t line) {
    while (line_ < line) {
      if (!line_done_ && !has_line()) break;  // the input ended
      next_line();
    }
    line_ = std::max(line_, line);
  }

  const status& error() const { return in_.error(); }

 private:
  buffered_reader in_;
  std::uint64_t line_ = 0;
  bool line_done_ = false;
  bool ended_with_line_feed_ = false;
};

// FNV-1a over the line's bytes, line feed included, so that a last line
// without one never hashes like the same text with one. Reads the line.
std::uint64_t hash_line(line_cursor& in) {
  std::uint64_t hash = 14695981039346656037ull;
  const char* data = nullptr;
  std::size_t size = 0;
  while (in.piece(data, size)) {
    for (std::size_t i = 0; i < size; ++i) {
      hash ^= static_cast<unsigned char>(data[i]);
      hash *= 1099511628211ull;
    }
    in.take(size);
  }
  return hash;
}

// Compares the current lines of `a` and `b` byte for byte, reading them.
bool same_line(line_cursor& a, line_cursor& b) {
  for (;;) {
    const char* data_a = nullptr;
    const char* data_b = nullptr;
    std::size_t size_a = 0;
    std::size_t size_b = 0;
    const bool more_a = a.piece(data_a, size_a);
    const bool more_b = b.piece(data_b, size_b);
    if (!more_a || !more_b) return more_a == more_b;
    const std::size_t size = std::min(size_a, size_b);
    if (std::memcmp(data_a, data_b, size) != 0) return false;
    a.take(size);
    b.take(size);
  }
}

bool holds_nul(const char* data, std::size_t size) {
  return std::memchr(data, '\0', size) != nullptr;
}

struct probe_result {
  bool equal = true;
  bool binary = false;
  status error;
};

// One pass over both files: are their bytes equal, does either hold a NUL.
probe_result probe(std::unique_ptr<input_file> old_file,
                   std::unique_ptr<input_file> new_file) {
  buffered_reader a(std::move(old_file));
  buffered_reader b(std::move(new_file));
  probe_result result;
  for (;;) {
    const bool more_a = a.fill();
    const bool more_b = b.fill();
    if (!more_a && !more_b) break;
    if (result.equal && more_a && more_b) {
      const std::size_t size = std::min(a.available(), b.available());
      if (std::memcmp(a.data(), b.data(), size) == 0) {
        result.binary = result.binary || holds_nul(a.data(), size);
        a.consume(size);
        b.consume(size);
        continue;
      }
    }
    result.equal = false;
    result.binary = result.binary || holds_nul(a.data(), a.available()) ||
                    holds_nul(b.data(), b.available());
    a.consume(a.available());
    b.consume(b.available());
  }
  result.error = !a.error().is_ok() ? a.error() : b.error();
  return result;
}

// A run of equal lines (keep), or a block of lines removed from the old file
// and added from the new one, either count possibly 0.
struct edit {
  bool keep = false;
  std::uint64_t removed = 0;
  std::uint64_t added = 0;
};

void append_edit(std::vector<edit>& script, bool keep, std::uint64_t removed,
                 std::uint64_t added) {
  if (!script.empty() && script.back().keep == keep) {
    script.back().removed += removed;
    script.back().added += added;
  } else {
    script.push_back(edit{keep, removed, added});
  }
}

// The longest common subsequence table of two windows of line hashes, in
// the bit-parallel form: row i is a bit vector over b whose zero bits mark
// where the LCS length of a[0, i) and b[0, j) grows with j.
class lcs_table {
 public:
  lcs_table(const std::vector<std::uint64_t>& a, const std::vector<std::uint64_t>& b)
      : words_((b.size() + 63) / 64), rows_((a.size() + 1) * words_, ~std::uint64_t{0}) {
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> where;
    for (std::size_t j = 0; j < b.size(); ++j) where[b[j]].push_back(j);
    std::vector<std::uint64_t> match(words_, 0);
    static const std::vector<std::size_t> none;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const auto found = where.find(a[i]);
      const std::vector<std::size_t>& places =
          found == where.end() ? none : found->second;
      for (std::size_t j : places) match[j / 64] |= std::uint64_t{1} << (j % 64);
      next_row(&rows_[i * words_], match, &rows_[(i + 1) * words_]);
      for (std::size_t j : places) match[j / 64] = 0;
    }
  }

  // The LCS length of a[0, i) and b[0, j).
  std::size_t length(std::size_t i, std::size_t j) const {
    const std::uint64_t* row = &rows_[i * words_];
    std::size_t ones = 0;
    for (std::size_t w = 0; w < j / 64; ++w) ones += std::bitset<64>(row[w]).count();
    if (j % 64 != 0) {
      const std::uint64_t low = (std::uint64_t{1} << (j % 64)) - 1;
      ones += std::bitset<64>(row[j / 64] & low).count();
    }
    return j - ones;
  }

 private:
  // v' = (v + (v & match)) | (v & ~match), with the carry across words. Bits
  // past the end of b may take any value: carries only move upwards.
  void next_row(const std::uint64_t* v, const std::vector<std::uint64_t>& match,
                std::uint64_t* next) const {
    std::uint64_t carry = 0;
    for (std::size_t w = 0; w < words_; ++w) {
      const std::uint64_t u = v[w] & match[w];
      const std::uint64_t sum = v[w] + u;
      const std::uint64_t total = sum + carry;
      carry = (sum < v[w] || total < sum) ? 1 : 0;
      next[w] = total | (v[w] & ~match[w]);
    }
  }

  std::size_t words_;
  std::vector<std::uint64_t> rows_;
};

// A minimal edit script turning window `a` into window `b`, by hash.
std::vector<edit> window_script(const std::vector<std::uint64_t>& a,
                                const std::vector<std::uint64_t>& b) {
  if (a.empty() || b.empty()) return {edit{false, a.size(), b.size()}};
  const lcs_table table(a, b);
  std::vector<edit> backwards;
  std::size_t i = a.size();
  std::size_t j = b.size();
  while (i > 0 || j > 0) {
    const std::size_t here = table.length(i, j);
    if (i > 0 && (j == 0 || table.length(i - 1, j) == here)) {
      append_edit(backwards, false, 1, 0);
      --i;
    } else if (j > 0 && (i == 0 || table.length(i, j - 1) == here)) {
      append_edit(backwards, false, 0, 1);
      --j;
    } else {
      append_edit(backwards, true, 1, 1);
      --i;
      --j;
    }
  }
  return std::vector<edit>(backwards.rbegin(), backwards.rend());
}

// The edits turning the old file into the new one, in order, decided from
// line hashes in look-ahead windows and confirmed by reading equal lines
// again. The same files always give the same edits.
class edit_engine {
 public:
  edit_engine(std::unique_ptr<input_file> old_scan, std::unique_ptr<input_file> new_scan,
              std::unique_ptr<input_file> old_check,
              std::unique_ptr<input_file> new_check, std::size_t window)
      : old_scan_(std::move(old_scan)),
        new_scan_(std::move(new_scan)),
        old_check_(std::move(old_check)),
        new_check_(std::move(new_check)),
        window_(std::max<std::size_t>(window, 2)) {}

  // The next edit, one line of a keep at a time; false at the end.
  bool next(edit& result) {
    if (!pending_.empty()) {
      result = take_pending();
      return true;
    }
    fill(old_, old_scan_, 1);
    fill(new_, new_scan_, 1);
    if (old_.ahead.empty() && new_.ahead.empty()) return false;
    if (old_.ahead.empty() || new_.ahead.empty()) {
      result = edit{false, old_.ahead.empty() ? 0u : 1u, new_.ahead.empty() ? 0u : 1u};
      drop(result);
      return true;
    }
    if (old_.ahead.front() == new_.ahead.front()) {
      result = checked_keep();
      return true;
    }
    resync();
    result = take_pending();
    return true;
  }

  status error() const {
    for (const line_cursor* in : {&old_scan_, &new_scan_, &old_check_, &new_check_}) {
      if (!in->error().is_ok()) return in->error();
    }
    return status::ok();
  }

 private:
  struct side {
    std::deque<std::uint64_t> ahead;  // hashes of the lines not yet edited
    std::uint64_t line = 0;           // number of ahead.front()
    bool scanned = false;             // ahead holds every line left
  };

  // The cursor is passed in rather than kept in `side`: the engine is moved
  // into its stream, and a reference to its own member would dangle.
  void fill(side& s, line_cursor& scan, std::size_t wanted) {
    while (!s.scanned && s.ahead.size() < wanted) {
      if (scan.has_line()) {
        s.ahead.push_back(hash_line(scan));
        scan.next_line();
      } else {
        s.scanned = true;
      }
    }
  }

  void drop(const edit& e) {
    old_.ahead.erase(old_.ahead.begin(), old_.ahead.begin() + e.removed);
    new_.ahead.erase(new_.ahead.begin(), new_.ahead.begin() + e.added);
    old_.line += e.removed;
    new_.line += e.added;
  }

  // The front lines hash alike: equal if their bytes are, a change (of a
  // hash collision) otherwise.
  edit checked_keep() {
    old_check_.skip_to(old_.line);
    new_check_.skip_to(new_.line);
    const bool same = same_line(old_check_, new_check_);
    const edit result{same, 1, 1};
    drop(result);
    return result;
  }

  edit take_pending() {
    edit& front = pending_.front();
    if (front.keep) {
      if (--front.removed == 0)
        pending_.pop_front();
      else
        --front.added;
      return checked_keep();
    }
    const edit result = front;
    pending_.pop_front();
    drop(result);
    return result;
  }

  // The front lines differ: diffs both windows and queues the first half of
  // the script (all of it when the windows reach both ends), so that every
  // resynchronisation moves at least half a window on one side.
  void resync() {
    fill(old_, old_scan_, window_);
    fill(new_, new_scan_, window_);
    const std::vector<std::uint64_t> a(old_.ahead.begin(), old_.ahead.end());
    const std::vector<std::uint64_t> b(new_.ahead.begin(), new_.ahead.end());
    const bool whole = old_.scanned && new_.scanned;
    const std::uint64_t half = window_ / 2;
    std::uint64_t used_old = 0;
    std::uint64_t used_new = 0;
    std::vector<edit> script = window_script(a, b);
    if (!whole && script.size() == 1 && !script[0].keep) {
      // No common line, and one window holds all that is left of its file:
      // the other window's lines match nothing that is left, so they are
      // changed whatever follows, and the first side waits for a match.
      if (old_.scanned) script[0].removed = 0;
      if (new_.scanned) script[0].added = 0;
    }
    for (edit e : script) {
      if (!whole) {
        if (used_old >= half || used_new >= half) break;
        const std::uint64_t room_old = half - used_old;
        const std::uint64_t room_new = half - used_new;
        if (e.keep) {
          e.removed = e.added = std::min({e.removed, room_old, room_new});
        } else {
          e.removed = std::min(e.removed, room_old);
          e.added = std::min(e.added, room_new);
        }
      }
      used_old += e.removed;
      used_new += e.added;
      pending_.push_back(e);
    }
  }

  line_cursor old_scan_;
  line_cursor new_scan_;
  line_cursor old_check_;
  line_cursor new_check_;
  std::size_t window_;
  side old_;
  side new_;
  std::deque<edit> pending_;
};

// The engine's edits with neighbours of a kind joined: keeps and changes
// alternate, and each change lists all its removed lines before the added.
class edit_stream {
 public:
  explicit edit_stream(edit_engine engine) : engine_(std::move(engine)) {}

  bool next(edit& result) {
    if (!pull(result)) return false;
    edit more;
    while (pull(more)) {
      if (more.keep != result.keep) {
        held_ = more;
        has_held_ = true;
        break;
      }
      result.removed += more.removed;
      result.added += more.added;
    }
    return true;
  }

  status error() const { return engine_.error(); }

 private:
  bool pull(edit& result) {
    if (has_held_) {
      has_held_ = false;
      result = held_;
      return true;
    }
    return engine_.next(result);
  }

  edit_engine engine_;
  edit held_;
  bool has_held_ = false;
};

// Lines are counted from 0; the header shows them from 1.
struct hunk {
  std::uint64_t old_start = 0;
  std::uint64_t old_count = 0;
  std::uint64_t new_start = 0;
  std::uint64_t new_count = 0;
};

// Groups the edits into hunks: three lines of context around each change,
// changes at most six equal lines apart in one hunk.
class hunk_finder {
 public:
  explicit hunk_finder(edit_stream edits) : edits_(std::move(edits)) {}

  bool next(hunk& result) {
    edit e;
    do {
      if (!edits_.next(e)) return false;
      if (e.keep) {
        advance(e);
        keep_run_ = e.removed;
      }
    } while (e.keep);
    const std::uint64_t lead = std::min(kContext, keep_run_);
    result.old_start = old_line_ - lead;
    result.new_start = new_line_ - lead;
    advance(e);
    std::uint64_t trail = 0;
    for (;;) {
      const std::uint64_t change_end_old = old_line_;
      const std::uint64_t change_end_new = new_line_;
      trail = 0;
      bool more = edits_.next(e);
      if (more) {
        advance(e);
        keep_run_ = e.removed;
        trail = std::min(kContext, e.removed);
        more = e.removed <= 2 * kContext && edits_.next(e);
      }
      if (!more) {
        result.old_count = change_end_old + trail - result.old_start;
        result.new_count = change_end_new + trail - result.new_start;
        return true;
      }
      advance(e);
    }
  }

  status error() const { return edits_.error(); }

 private:
  void advance(const edit& e) {
    old_line_ += e.removed;
    new_line_ += e.added;
  }

  edit_stream edits_;
  std::uint64_t old_line_ = 0;
  std::uint64_t new_line_ = 0;
  std::uint64_t keep_run_ = 0;  // equal lines before the next change
};

// "5" for line 5 alone, "5,3" for three lines from 5, "4,0" for nothing
// after line 4, as diff -u writes ranges.
std::string range_text(std::uint64_t start, std::uint64_t count) {
  if (count == 0) return std::to_string(start) + ",0";
  if (count == 1) return std::to_string(start + 1);
  return std::to_string(start + 1) + "," + std::to_string(count);
}

void write_coloured(std::ostream& out, const char* colour, bool enabled,
                    const std::string& text) {
  if (enabled) out << colour;
  out << text;
  if (enabled) out << kReset;
  out << '\n';
}

// Writes the hunks found ahead of it, following its own identical edits.
class hunk_printer {
 public:
  hunk_printer(edit_stream edits, std::unique_ptr<input_file> old_text,
               std::unique_ptr<input_file> new_text, const diff_style& style,
               std::ostream& out)
      : edits_(std::move(edits)),
        old_text_(std::move(old_text)),
        new_text_(std::move(new_text)),
        style_(style),
        out_(out) {}

  // False when the edits disagree with the hunk: a file changed meanwhile.
  bool print(const hunk& h) {
    write_coloured(out_, kCyan, style_.colour,
                   "@@ -" + range_text(h.old_start, h.old_count) + " +" +
                       range_text(h.new_start, h.new_count) + " @@");
    while (old_line_ < h.old_start) {
      if (!current() || !current_.keep) return false;
      const std::uint64_t count = std::min(current_.removed, h.old_start - old_line_);
      old_line_ += count;
      new_line_ += count;
      consume(count, count);
    }
    if (new_line_ != h.new_start) return false;
    const std::uint64_t old_end = h.old_start + h.old_count;
    const std::uint64_t new_end = h.new_start + h.new_count;
    while (old_line_ < old_end || new_line_ < new_end) {
      if (!current()) return false;
      const edit e = current_;
      if (e.keep) {
        const std::uint64_t count = std::min(e.removed, old_end - old_line_);
        if (count == 0 || !print_lines(old_text_, old_line_, count, ' ', nullptr)) {
          return false;
        }
        new_line_ += count;
        consume(count, count);
      } else {
        if (old_line_ + e.removed > old_end || new_line_ + e.added > new_end)
          return false;
        if (!print_lines(old_text_, old_line_, e.removed, '-', kRed) ||
            !print_lines(new_text_, new_line_, e.added, '+', kGreen)) {
          return false;
        }
        consume(e.removed, e.added);
      }
    }
    return true;
  }

  // False when a change follows the last hunk: a file changed meanwhile.
  bool finish() {
    while (current()) {
      if (!current_.keep) return false;
      has_current_ = false;
    }
    return true;
  }

  status error() const {
    if (!old_text_.error().is_ok()) return old_text_.error();
    if (!new_text_.error().is_ok()) return new_text_.error();
    return edits_.error();
  }

 private:
  bool current() {
    if (!has_current_) has_current_ = edits_.next(current_);
    return has_current_;
  }

  void consume(std::uint64_t removed, std::uint64_t added) {
    current_.removed -= removed;
    current_.added -= added;
    if (current_.removed == 0 && current_.added == 0) has_current_ = false;
  }

  // Prints `count` lines from `line` on, each after `prefix`, and moves
  // `line` past them.
  bool print_lines(line_cursor& text, std::uint64_t& line, std::uint64_t count,
                   char prefix, const char* colour) {
    for (; count > 0; --count, ++line) {
      text.skip_to(line);
      if (!print_line(text, prefix, style_.colour ? colour : nullptr)) return false;
    }
    return true;
  }

  bool print_line(line_cursor& text, char prefix, const char* colour) {
    if (!text.has_line()) return false;
    if (colour) out_ << colour;
    out_ << prefix;
    const char* data = nullptr;
    std::size_t size = 0;
    while (text.piece(data, size)) {
      const std::size_t shown = data[size - 1] == '\n' ? size - 1 : size;
      out_.write(data, static_cast<std::streamsize>(shown));
      text.take(size);
    }
    if (colour) out_ << kReset;
    out_ << '\n';
    if (!text.ended_with_line_feed()) out_ << "\\ No newline at end of file\n";
    return true;
  }

  edit_stream edits_;
  line_cursor old_text_;
  line_cursor new_text_;
  const diff_style& style_;
  std::ostream& out_;
  edit current_;
  bool has_current_ = false;
  std::uint64_t old_line_ = 0;
  std::uint64_t new_line_ = 0;
};

// Opens `count` fresh readers of one file.
status open_readers(const input_opener& open, std::size_t count,
                    std::vector<std::unique_ptr<input_file>>& files) {
  for (std::size_t i = 0; i < count; ++i) {
    opened<input_file> file = open();
    if (!file.result.is_ok()) return file.result;
    files.push_back(std::move(file.file));
  }
  return status::ok();
}

edit_stream make_edits(std::vector<std::unique_ptr<input_file>>& old_files,
                       std::vector<std::unique_ptr<input_file>>& new_files,
                       std::size_t first, std::size_t window) {
  return edit_stream(edit_engine(std::move(old_files[first]), std::move(new_files[first]),
                                 std::move(old_files[first + 1]),
                                 std::move(new_files[first + 1]), window));
}

status write_line_diff(std::vector<std::unique_ptr<input_file>>& old_files,
                       std::vector<std::unique_ptr<input_file>>& new_files,
                       const diff_labels& labels, const diff_style& style,
                       std::ostream& out) {
  hunk_finder finder(make_edits(old_files, new_files, 0, style.window_lines));
  hunk_printer printer(make_edits(old_files, new_files, 2, style.window_lines),
                       std::move(old_files[4]), std::move(new_files[4]), style, out);
  write_coloured(out, kBold, style.colour, "--- " + labels.old_label);
  write_coloured(out, kBold, style.colour, "+++ " + labels.new_label);
  bool agree = true;
  hunk h;
  while (agree && finder.next(h)) agree = printer.print(h);
  agree = agree && printer.finish();
  if (!finder.error().is_ok()) return finder.error();
  if (!printer.error().is_ok()) return printer.error();
  if (!agree) return status::failed("the file changed while it was compared");
  return status::ok();
}

}  // namespace

status write_unified_diff(const input_opener& open_old, const input_opener& open_new,
                          const diff_labels& labels, const diff_style& style,
                          std::ostream& out, bool& differ) {
  differ = false;
  std::vector<std::unique_ptr<input_file>> old_files;
  std::vector<std::unique_ptr<input_file>> new_files;
  status opening = open_readers(open_old, 1, old_files);
  if (opening.is_ok()) opening = open_readers(open_new, 1, new_files);
  if (!opening.is_ok()) return opening;
  const probe_result found = probe(std::move(old_files[0]), std::move(new_files[0]));
  if (!found.error.is_ok()) return found.error;
  if (found.equal) return status::ok();
  differ = true;
  if (found.binary) {
    out << "Binary files " << labels.old_label << " and " << labels.new_label
        << " differ\n";
    return status::ok();
  }
  old_files.clear();
  new_files.clear();
  opening = open_readers(open_old, 5, old_files);
  if (opening.is_ok()) opening = open_readers(open_new, 5, new_files);
  if (!opening.is_ok()) return opening;
  return write_line_diff(old_files, new_files, labels, style, out);
}

void write_new_file_header(const std::string& label, const diff_style& style,
                           std::ostream& out) {
  write_coloured(out, kBold, style.colour, "new file " + label);
}

}  // namespace quillmend
