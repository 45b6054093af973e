// The handler of txt_content_replace_txt records: replaces the block between
// two marker lines of a target file by the block between two marker lines of
// a source file.
//
// A record is six script lines: source start marker, source end marker,
// source file, target start marker, target end marker, target file. A line
// contains a marker when the marker is a plain, case-sensitive substring of
// it; an empty marker is in every line.
//
// The result goes to the work file c:\temp\new\temp.txt: the target up to and
// including its start line, the source's lines strictly between its marker
// lines, then the target from its end line on. Every line keeps its own line
// end; a last line without one gets a line feed. copy_back() then copies the
// work file over the target.
//
// Fails, writing no console message (only its located line) and leaving the
// target untouched, when a file is
// missing or unreadable, the work
// file cannot be written, the source has no start-marker line, or the
// target has its start line but no end line after it. A target without its
// start line gets the source block appended; a source block without its end
// line runs to the end of the source.
#ifndef QUILLMEND_SPLICE_SPLICE_BLOCK_H_
#define QUILLMEND_SPLICE_SPLICE_BLOCK_H_

#include <cstdint>
#include <memory>
#include <string>

#include "common/reporter.h"
#include "platform/platform.h"

namespace quillmend {

struct splice_record {
  std::string source_start;
  std::string source_end;
  std::string source_path;
  std::string target_start;
  std::string target_end;
  std::string target_path;
  std::uint64_t first_line = 0;  // where the record starts in the script
};

// Where the target's block was and how it changes, in lines of the target.
struct splice_extent {
  std::uint64_t first_line = 1;  // the first line of the block (1-based)
  std::uint64_t removed = 0;
  std::uint64_t inserted = 0;
};

// Writes the work file and returns it; null when the splice failed. The
// caller holds the work lock until copy_back().
std::unique_ptr<work_file> splice_block(const splice_record& record, platform& os,
                                        reporter& report, splice_extent& extent);

// Copies the work file, as written (never reopened by its name), over the
// record's target. A failure is reported on the diagnostics stream and
// counts as a failure of the run; returns whether the copy was made.
bool copy_back(const splice_record& record, work_file& spliced, platform& os,
               reporter& report);

}  // namespace quillmend

#endif  // QUILLMEND_SPLICE_SPLICE_BLOCK_H_
