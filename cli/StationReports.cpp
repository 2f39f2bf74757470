#include "cli/StationReports.h"

#include <cctype>
#include <cstdio>
#include <ctime>

namespace tarvane {

std::string stationReportPath(const std::string& dir, const DeviceAddress& address,
                              std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &t);
#else
    gmtime_r(&t, &utc);
#endif
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    // Colons, slashes and backslashes of an address have no place in a name.
    std::string name;
    for (const char c : address.toString()) {
        const auto u = static_cast<unsigned char>(c);
        name += std::isalnum(u) || c == '.' || c == '-' ? c : '_';
    }
    std::string path = dir;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
    return path + stamp + '-' + name + ".txt";
}

} // namespace tarvane
