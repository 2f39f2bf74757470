#include "cli/ExitStatus.h"
#include "cli/Inspect.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

#ifndef TARVANE_VERSION
#define TARVANE_VERSION "0.0.0"
#endif

int main(int argc, char** argv) {
    using namespace tarvane;

    CLI::App app{"Updates the firmware of a Tarvane board through its USB bootloader."};
    app.name("tarvane-update");
    app.set_version_flag("--version", "tarvane-update " TARVANE_VERSION);

    std::string inspectPath;
    app.add_option("--inspect", inspectPath,
                   "Check a HEX file and print its verification range (start, length, crc), "
                   "its record count and its data bytes; no device is touched")
        ->type_name("FILE.hex");
    app.footer("Exit status: 0 updated, 1 update failed after the device was found, 2 usage error,\n"
               "3 the HEX file cannot be loaded or fails its check, 4 device not found.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // CLI11 reports --help and --version through this path with status 0.
        return app.exit(e) == 0 ? kExitUpdated : kExitUsage;
    }

    if (!inspectPath.empty()) return inspectHexFile(inspectPath, std::cout, std::cerr);

    std::cerr << "error: nothing to do: give --inspect FILE.hex\n"
              << "Run with --help for more information.\n";
    return kExitUsage;
}
