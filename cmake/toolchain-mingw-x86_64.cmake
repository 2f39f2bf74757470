# The 64-bit Windows build: cmake -DCMAKE_TOOLCHAIN_FILE=this. Its programs and
# tests run here under Wine, which CTest puts in front of every test program.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TARVANE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
find_program(TARVANE_WINE NAMES wine wine64)
if(TARVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVANE_WINE})
endif()
