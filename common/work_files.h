// The fixed work files under c:\temp that the splice and the copy sections
// use. Every run of the user shares them, so their users hold the work
// lock (kWorkLockFile) while they use them.
#ifndef QUILLMEND_COMMON_WORK_FILES_H_
#define QUILLMEND_COMMON_WORK_FILES_H_

#include "platform/platform.h"

namespace quillmend {

constexpr const char* kOldListFolder = "c:\\temp\\old";
constexpr const char* kNewListFolder = "c:\\temp\\new";
constexpr const char* kListFileName = "myCopyTemp.txt";
constexpr const char* kOldListFile = "c:\\temp\\old\\myCopyTemp.txt";
constexpr const char* kNewListFile = "c:\\temp\\new\\myCopyTemp.txt";
constexpr const char* kSplicedWorkFile = "c:\\temp\\new\\temp.txt";
constexpr const char* kSplicedWorkFileName = "temp.txt";
constexpr const char* kWorkLockFileName = "quillmend.lock";
constexpr const char* kWorkLockFile = "c:\\temp\\new\\quillmend.lock";

// Opens a work folder (kOldListFolder, kNewListFolder) before its files are
// written. On POSIX the folders are the tool's own: created private with
// their parents, so that a fresh machine needs no set-up. On Windows they
// are the user's: c:\temp\old must exist, and c:\temp\new is made one level
// deep, as the engine makes a target's folder.
opened<work_folder> open_work_folder(platform& os, const char* folder);

}  // namespace quillmend

#endif  // QUILLMEND_COMMON_WORK_FILES_H_
