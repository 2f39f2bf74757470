# One interface target carries the project's warning and sanitizer flags so every
# library, program and test is built the same way.
add_library(tarvane_options INTERFACE)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(tarvane_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
    -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
  if(TARVANE_WARNINGS_AS_ERRORS)
    target_compile_options(tarvane_options INTERFACE -Werror)
  endif()
  # No checkout or build folder in the programs (__FILE__, debug info), so
  # two clones of one commit build the same bytes. The build folder comes
  # last: it may lie inside the checkout, and the last match wins.
  target_compile_options(tarvane_options INTERFACE
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
    -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
elseif(MSVC)
  target_compile_options(tarvane_options INTERFACE /W4 $<$<BOOL:${TARVANE_WARNINGS_AS_ERRORS}>:/WX>)
endif()

if(TARVANE_ENABLE_ASAN AND TARVANE_ENABLE_TSAN)
  message(FATAL_ERROR "AddressSanitizer and ThreadSanitizer cannot be combined; pick one build.")
endif()
if(TARVANE_ENABLE_ASAN)
  target_compile_options(tarvane_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(tarvane_options INTERFACE -fsanitize=address,undefined)
endif()
if(TARVANE_ENABLE_TSAN)
  target_compile_options(tarvane_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(tarvane_options INTERFACE -fsanitize=thread)
endif()
