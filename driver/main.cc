// quillmend: a batch tool for text files, driven by one script.
#include <iostream>
#include <new>

#include "driver/run_script.h"
#include "platform/native_platform.h"

int main(int argc, char** argv) {
  try {
    std::unique_ptr<quillmend::platform> os = quillmend::make_native_platform();
    const int exit_status = quillmend::run_script(argc, argv, *os);
    std::cout.flush();
    return exit_status;
  } catch (const std::bad_alloc&) {
    std::cout.flush();
    std::cerr << "quillmend: out of memory\n";
    return 0;
  }
}
