// Times what --inspect does to a large file (check, image, CRC) against
// srec_cat computing the same CRC over the same file, side by side.
#include "firmware/HexFile.h"
#include "tests/support/HexGen.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kDataBytes = 1536 * 1024; // about 1.5 MB, as a large firmware
constexpr std::uint32_t kFileStart = 0x1D000000;
constexpr int kRepetitions = 7;
constexpr double kGoal = 3.0;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Everything the updater does to a file before the first request goes out.
std::optional<tarvane::VerifyRange> checkAndLoad(const std::string& path) {
    const auto file = tarvane::loadHexFile(path);
    if (!file->check.ok) return std::nullopt;
    return file->check.range;
}

} // namespace

int main() {
    using namespace tarvane;

    const std::string srecCat = test::findProgram("srec_cat");
    if (srecCat.empty()) {
        std::fprintf(stderr, "srec_cat not found (Debian package srecord); scripts/deps/install-deps.sh installs it\n");
        return 1;
    }
    test::ScratchDir dir;
    const auto file = test::generateHex({{kFileStart, test::patternBytes(kDataBytes, 2064)}});
    const std::string path = dir.write("bench.hex", file.text);
    if (path.empty()) {
        std::fprintf(stderr, "cannot write the benchmark file under %s\n", dir.path().string().c_str());
        return 1;
    }
    std::printf("file: %zu data bytes in %u records, %zu bytes of text\n", kDataBytes, file.expected.records,
                file.text.size());

    double oursBest = 1e300;
    double srecBest = 1e300;
    std::optional<VerifyRange> ours;
    std::optional<std::uint16_t> theirs;
    // Alternate the two so that both see the same machine load and file cache.
    for (int i = 0; i < kRepetitions; ++i) {
        auto start = Clock::now();
        ours = checkAndLoad(path);
        oursBest = std::min(oursBest, millisecondsSince(start));

        start = Clock::now();
        theirs = test::srecCatCrc16(srecCat, path, file.expected.start & 0x7FFFFFFFu, file.expected.length);
        srecBest = std::min(srecBest, millisecondsSince(start));
    }

    if (!ours || !theirs) {
        std::fprintf(stderr, "%s failed on %s\n", ours ? "srec_cat" : "check + image", path.c_str());
        return 1;
    }
    std::printf("range: start 0x%08X, length 0x%08X\n", ours->start, ours->length);
    std::printf("crc:   ours 0x%04X, srec_cat 0x%04X, generator 0x%04X\n", ours->crc, *theirs, file.expected.crc);
    if (ours->crc != *theirs || ours->crc != file.expected.crc || ours->start != file.expected.start ||
        ours->length != file.expected.length) {
        std::fprintf(stderr, "the results disagree\n");
        return 1;
    }
    const double ratio = srecBest / oursBest;
    std::printf("best of %d: check + image + crc %.1f ms, srec_cat %.1f ms\n", kRepetitions, oursBest, srecBest);
    std::printf("ratio: %.1fx faster (goal %.0fx: %s)\n", ratio, kGoal, ratio >= kGoal ? "met" : "MISSED");
    return 0;
}
