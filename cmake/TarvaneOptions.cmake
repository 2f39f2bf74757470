# Every TARVANE_* switch of the build, declared here so that `cmake -L` and
# one file tell them all.
option(TARVANE_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" ON)
option(TARVANE_ENABLE_ASAN "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TARVANE_ENABLE_TSAN "Build with ThreadSanitizer" OFF)
option(TARVANE_BUILD_BENCH "Build the benchmarks" ON)
option(TARVANE_FUZZ "Build the libFuzzer targets of fuzz/ (needs clang; make fuzz sets it)" OFF)
option(TARVANE_WITH_HIDAPI "Build the USB back-end over hidapi when it is found (not on Windows)" ON)

find_package(Qt6 QUIET COMPONENTS Widgets Test)
# "auto" follows Qt at every configure, so a build made before Qt was
# installed (make run installs only the terminal tool's packages) gets the
# window once it is.
set(TARVANE_WITH_QT auto CACHE STRING "Build the Qt window tarvane-updater and its tests: ON, OFF or auto (when Qt 6 is found)")
set_property(CACHE TARVANE_WITH_QT PROPERTY STRINGS auto ON OFF)
if(TARVANE_WITH_QT STREQUAL "auto" AND Qt6_FOUND)
  set(TARVANE_WITH_QT ON)
elseif(TARVANE_WITH_QT STREQUAL "auto")
  set(TARVANE_WITH_QT OFF)
endif()

# The terminal tools' man pages come from their --help, through help2man.
find_program(TARVANE_HELP2MAN help2man)
find_program(TARVANE_GZIP gzip)
set(manpagesDefault OFF)
if(TARVANE_HELP2MAN AND TARVANE_GZIP AND NOT CMAKE_CROSSCOMPILING)
  set(manpagesDefault ON)
endif()
option(TARVANE_MANPAGES "Generate the terminal tools' man pages with help2man" ${manpagesDefault})

# udev reads /usr/lib/udev/rules.d and /etc/udev/rules.d, not /usr/local: a
# package built with CMAKE_INSTALL_PREFIX=/usr puts it where udev looks.
set(TARVANE_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Where the udev rule is installed, relative to the install prefix or absolute")
