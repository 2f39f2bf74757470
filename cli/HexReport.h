#pragma once

#include <iosfwd>
#include <string>

namespace tarvane {

// Checks a HEX file and prints its verification range and counts to `out`;
// on a fault prints the error and its reason to `err`. Returns an exit status.
int inspectHexFile(const std::string& path, std::ostream& out, std::ostream& err);

} // namespace tarvane
