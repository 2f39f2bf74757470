#include "startup/SystemName.h"

#include <sys/utsname.h>

namespace tarvane {

std::string systemDescription() {
    utsname name{};
    if (uname(&name) != 0) return "unknown";
    return std::string(name.sysname) + " " + name.release + " " + name.machine;
}

} // namespace tarvane
