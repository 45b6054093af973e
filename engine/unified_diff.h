// Unified diffs ("diff -u" format) of two files read through input_file.
//
// The output applies with a patch tool to the old file and gives the new file
// byte for byte: a line is everything up to and including its line feed, so a
// CR before the LF is part of the line, and a side whose last line has no line
// feed gets the "\ No newline at end of file" marker after that line. Hunks
// carry three lines of context and are merged when at most six equal lines
// separate two changes; their "@@ -a,b +c,d @@" headers are written as diff -u
// writes them (",1" left out, ",0" and the line before for an empty range).
//
// Memory does not grow with the files or their lines. Per line only a 64-bit
// hash is kept, and only for a look-ahead window of `window_lines` lines of
// each side; lines whose hashes match are compared byte by byte by reading
// them again, and printing a line streams it. After a difference the two
// windows are matched by a minimal (longest common subsequence) diff, whose
// table takes window_lines^2 bits (2 MiB for the default 4096 lines) and whose
// first half is kept before the windows move on. So the memory is
// O(window_lines^2) bits plus O(window_lines) hashes, and the time is
// O((old + new lines) * window_lines / 64) word operations at worst, linear
// in the bytes read otherwise. The diff is minimal within a window, not
// necessarily across windows: a change larger than the window is still
// written correctly, but lines it shares with the other side may then show
// as removed and added again.
//
// To stay within that bound each file is read up to six times, each time from
// the start through a fresh input_file from its opener: once to tell whether
// the files differ at all, and then by forward-only readers that hash lines,
// confirm equal lines and print them. The hunk headers are found by running
// the same deterministic comparison once ahead of the one that prints.
//
// Binary files: a file holding a NUL byte is not compared line by line.
// When the two files differ and either holds one, the whole output is the
// line "Binary files <old> and <new> differ".
#ifndef QUILLMEND_ENGINE_UNIFIED_DIFF_H_
#define QUILLMEND_ENGINE_UNIFIED_DIFF_H_

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>

#include "platform/platform.h"

namespace quillmend {

// Opens the file again from its start; called several times per diff.
using input_opener = std::function<opened<input_file>()>;

// The paths as the script writes them, used verbatim after "--- " and "+++ ".
struct diff_labels {
  std::string old_label;
  std::string new_label;
};

struct diff_style {
  // ANSI colours: bold headers, cyan hunk headers, red removed lines, green
  // added lines. The caller decides (a terminal, NO_COLOR unset).
  bool colour = false;
  // Lines of each file looked ahead to resynchronise after a difference;
  // raised to 2 at least. Larger finds better diffs of long changes at the
  // cost of window_lines^2 bits of memory.
  std::size_t window_lines = 4096;
};

// Writes the unified diff of the old file to the new file to `out`, nothing
// when their bytes are equal. Sets `differ` to whether they differ. Returns
// the first open or read error; the output is then incomplete, and nothing is
// written when opening fails. Also fails when a file changes between its
// reads in a way that makes the passes disagree.
status write_unified_diff(const input_opener& open_old, const input_opener& open_new,
                          const diff_labels& labels, const diff_style& style,
                          std::ostream& out, bool& differ);

// The one-line header shown for a file that did not exist before:
// "new file <label>".
void write_new_file_header(const std::string& label, const diff_style& style,
                           std::ostream& out);

}  // namespace quillmend

#endif  // QUILLMEND_ENGINE_UNIFIED_DIFF_H_
