# The newest changelog entry must name the version being packaged: a release
# whose changelog still names the previous one tells users the wrong story.
# Usage: cmake -DCHANGELOG=FILE -DVERSION=X.Y.Z -P changelog-version.cmake
file(READ ${CHANGELOG} text)
string(REGEX MATCH "^[^\n]*" first "${text}")
if(NOT first MATCHES "^tarvane-updater \\(([^)]+)\\) [a-z-]+; urgency=[a-z]+$")
  message(FATAL_ERROR "first line of ${CHANGELOG} is not a changelog entry: ${first}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  message(FATAL_ERROR "${CHANGELOG} starts with ${CMAKE_MATCH_1}, the project is ${VERSION}: add an entry")
endif()
message(STATUS "changelog names ${VERSION}")
