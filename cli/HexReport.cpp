#include "cli/HexReport.h"

#include "firmware/FlashImage.h"
#include "firmware/HexCheck.h"
#include "firmware/HexFileReader.h"
#include "update/ExitStatus.h"

#include <ostream>

namespace tarvane {

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
    out << rangeLines(range) << "records: " << check.records << '\n'
        << "data bytes: " << check.dataBytes << '\n';
    return kExitUpdated;
}

} // namespace tarvane
