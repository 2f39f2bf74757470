#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace tarvane {

// Writes to an output (a trace, a report) that a reader who stops reading a
// pipe cannot hold up: the update goes on, and a stop still ends the run.

// From now on writes to `file` take what the output accepts at once. The
// stdio buffer of `file` is no longer used. Writes to disk are unchanged.
void makeWritesNonBlocking(std::FILE* file);

// Writes what `file` takes now of `bytes`; the count, or -1 with errno set
// when the write failed (0 when the reader is not reading).
long long writeAvailable(std::FILE* file, std::string_view bytes);

// Waits up to `ms` milliseconds for `file` to take more.
void waitWritable(std::FILE* file, int ms);

// Writes all of `bytes`, waiting for a reader as long as it takes, unless
// `stop` is set: then a reader that takes nothing for half a second is given up.
// Empty when written, else the reason.
std::string writeAll(std::FILE* file, std::string_view bytes, const std::atomic<bool>* stop);

} // namespace tarvane
