# Shared by the two mingw-w64 toolchain files, which set TARVANE_MINGW_TRIPLE
# first. The -posix compilers give std::thread; a full -static link leaves the
# programs needing no DLL besides the system's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TARVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVANE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Windows 7 and later; wide-character API names; no min/max macros to clash
# with the standard library.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DUNICODE -D_UNICODE -DNOMINMAX -DWIN32_LEAN_AND_MEAN")
set(CMAKE_CXX_FLAGS_INIT "${CMAKE_C_FLAGS_INIT}")

# The host's CLI11 package would put /usr/include, with the host's C library,
# on the cross compiler's path; this stand-in exposes only CLI11's own headers.
set(_tarvane_cli11 "${CMAKE_BINARY_DIR}/mingw-cli11")
if(EXISTS /usr/include/CLI/CLI.hpp AND NOT EXISTS "${_tarvane_cli11}/CLI11Config.cmake")
  file(MAKE_DIRECTORY "${_tarvane_cli11}/include")
  file(CREATE_LINK /usr/include/CLI "${_tarvane_cli11}/include/CLI" SYMBOLIC)
  file(WRITE "${_tarvane_cli11}/CLI11Config.cmake"
    "if(NOT TARGET CLI11::CLI11)\n"
    "  add_library(CLI11::CLI11 INTERFACE IMPORTED)\n"
    "  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES \"${_tarvane_cli11}/include\")\n"
    "endif()\n")
endif()
set(CLI11_DIR "${_tarvane_cli11}" CACHE PATH "CLI11 for the cross build")
