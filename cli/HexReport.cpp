#include "cli/HexReport.h"

#include "cli/ExitStatus.h"
#include "firmware/HexFile.h"

#include <ostream>

namespace tarvane {

int inspectHexFile(const std::string& path, std::ostream& out, std::ostream& err) {
    const std::shared_ptr<const HexFile> file = loadHexFile(path);
    const HexCheckResult& check = file->check;
    if (!check.ok) {
        err << "error: Cannot load the HEX file.\n" << check.describe() << '\n';
        return kExitBadFile;
    }
    out << rangeLines(check.range) << "records: " << check.records << '\n'
        << "data bytes: " << check.dataBytes << '\n';
    return kExitUpdated;
}

} // namespace tarvane
