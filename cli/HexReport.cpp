#include "cli/HexReport.h"

#include "update/ExitStatus.h"
#include "firmware/FlashImage.h"
#include "firmware/HexCheck.h"
#include "firmware/HexFileReader.h"

#include <cstdio>
#include <ostream>

namespace tarvane {
namespace {

std::string hex(std::uint32_t value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, static_cast<unsigned>(value));
    return buf;
}

} // namespace

int inspectHexFile(const std::string& path, std::ostream& out, std::ostream& err) {
    const HexCheckResult check = checkHexFile(path);
    HexFileReader reader;
    if (!check.ok || !reader.open(path)) {
        err << "error: Cannot load the HEX file.\n"
            << (check.ok ? "cannot open " + path : check.describe()) << '\n';
        return kExitBadFile;
    }
    FlashImage image;
    const VerifyRange range = loadImage(reader, image);
    out << "start: " << hex(range.start, 8) << '\n'
        << "length: " << hex(range.length, 8) << '\n'
        << "crc: " << hex(range.crc, 4) << '\n'
        << "records: " << check.records << '\n'
        << "data bytes: " << check.dataBytes << '\n';
    return kExitUpdated;
}

} // namespace tarvane
