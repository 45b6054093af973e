// The fixed work files under c:\temp that the splice and the copy sections
// use. They are shared by every run on the machine, so their users hold the
// platform's work lock.
#ifndef QUILLMEND_DRIVER_WORK_FILES_H_
#define QUILLMEND_DRIVER_WORK_FILES_H_

namespace quillmend {

constexpr const char* kOldListFolder = "c:\\temp\\old";
constexpr const char* kNewListFolder = "c:\\temp\\new";
constexpr const char* kListFileName = "myCopyTemp.txt";
constexpr const char* kSplicedWorkFile = "c:\\temp\\new\\temp.txt";

}  // namespace quillmend

#endif  // QUILLMEND_DRIVER_WORK_FILES_H_
