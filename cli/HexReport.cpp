#include "cli/HexReport.h"

#include "firmware/FlashImage.h"
#include "firmware/HexCheck.h"
#include "update/ExitStatus.h"

#include <ostream>

namespace tarvane {

int inspectHexFile(const std::string& path, std::ostream& out, std::ostream& err) {
    const HexCheckResult check = checkHexFile(path);
    const std::optional<VerifyRange> range = check.ok ? fileVerifyRange(path) : std::nullopt;
    if (!range) {
        err << "error: Cannot load the HEX file.\n"
            << (check.ok ? "cannot open " + path : check.describe()) << '\n';
        return kExitBadFile;
    }
    out << rangeLines(*range) << "records: " << check.records << '\n'
        << "data bytes: " << check.dataBytes << '\n';
    return kExitUpdated;
}

} // namespace tarvane
