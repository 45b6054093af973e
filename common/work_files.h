// The fixed work files under c:\temp that the splice and the copy sections
// use. Every run on the machine shares them, so their users hold the work
// lock (kWorkLockFile) while they use them.
#ifndef QUILLMEND_COMMON_WORK_FILES_H_
#define QUILLMEND_COMMON_WORK_FILES_H_

namespace quillmend {

constexpr const char* kOldListFolder = "c:\\temp\\old";
constexpr const char* kNewListFolder = "c:\\temp\\new";
constexpr const char* kListFileName = "myCopyTemp.txt";
constexpr const char* kOldListFile = "c:\\temp\\old\\myCopyTemp.txt";
constexpr const char* kNewListFile = "c:\\temp\\new\\myCopyTemp.txt";
constexpr const char* kSplicedWorkFile = "c:\\temp\\new\\temp.txt";
constexpr const char* kWorkLockFolder = "c:\\temp";
constexpr const char* kWorkLockFile = "c:\\temp\\quillmend.lock";

}  // namespace quillmend

#endif  // QUILLMEND_COMMON_WORK_FILES_H_
