#pragma once

#include <cstddef>
#include <string>

namespace tarvane {

// One board's trace or report file: the path as given for a single board,
// numbered before its extension when each of several boards has its own
// (FILE-1.EXT, FILE-2.EXT, ...).
std::string numberedFileFor(const std::string& path, std::size_t index, bool numbered);

// Why the trace and report files of `boards` boards cannot be written: one
// of them is the HEX file, by whatever path, two of them are one file, or
// a numbered one is given as a folder.
// Empty when they can; otherwise the usage error's text.
std::string outputFilesClash(const std::string& hexFile, const std::string& trace, const std::string& report,
                             std::size_t boards, bool numbered);

} // namespace tarvane
