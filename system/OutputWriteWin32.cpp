#include "system/OutputWrite.h"

namespace tarvane {

// Files and pipes on Windows are written as they are: whole, through stdio.
void makeWritesNonBlocking(std::FILE*) {}

long long writeAvailable(std::FILE* file, std::string_view bytes) {
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0;
    return written ? static_cast<long long>(bytes.size()) : -1;
}

void waitWritable(std::FILE*, int) {}

} // namespace tarvane
