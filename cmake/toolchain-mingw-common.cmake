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

# No link time in the PE header: the same sources give the same program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
# Windows 7 and later; wide-character API names; no min/max macros to clash
# with the standard library.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DUNICODE -D_UNICODE -DNOMINMAX -DWIN32_LEAN_AND_MEAN")
set(CMAKE_CXX_FLAGS_INIT "${CMAKE_C_FLAGS_INIT}")

# The host's header-only packages (CLI11, nlohmann_json) would put
# /usr/include, with the host's C library, on the cross compiler's path; these
# stand-ins expose only each package's own headers.
function(tarvane_header_only_package package target header_dir)
  set(dir "${CMAKE_BINARY_DIR}/mingw-packages/${package}")
  if(EXISTS "/usr/include/${header_dir}" AND NOT EXISTS "${dir}/${package}Config.cmake")
    file(MAKE_DIRECTORY "${dir}/include")
    file(CREATE_LINK "/usr/include/${header_dir}" "${dir}/include/${header_dir}" SYMBOLIC)
    file(WRITE "${dir}/${package}Config.cmake"
      "if(NOT TARGET ${target})\n"
      "  add_library(${target} INTERFACE IMPORTED)\n"
      "  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES \"${dir}/include\")\n"
      "endif()\n")
  endif()
  set(${package}_DIR "${dir}" CACHE PATH "${package} for the cross build")
endfunction()
tarvane_header_only_package(CLI11 CLI11::CLI11 CLI)
tarvane_header_only_package(nlohmann_json nlohmann_json::nlohmann_json nlohmann)
