# The 32-bit Windows build, the one users run: cmake -DCMAKE_TOOLCHAIN_FILE=this.
# It is only cross-compiled and inspected here: this kernel cannot run 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TARVANE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
