#include "cli/ExitStatus.h"
#include "cli/HexReport.h"
#include "cli/ListDevices.h"
#include "cli/RunUpdate.h"
#include "res/version.h"
#include "sim/SimDevicePort.h"
#include "trace/TraceFormat.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include "win32/FineTimer.h"
#include "win32/WideText.h"

#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

int main(int argc, char** argv) {
    using namespace tarvane;
    registerSimulatedBoardPort();
#ifdef _WIN32
    useFineTimerInLinkWorkers();
#endif

    CLI::App app{"Updates the firmware of a Tarvane board through its USB bootloader.\n\n"
                 "  tarvane-update --board interface|display [--device ADDRESS] [--json] [--wait SECONDS] FILE.hex\n"
                 "  tarvane-update --inspect FILE.hex\n"
                 "  tarvane-update --list [--device ADDRESS]\n"};
    app.name("tarvane-update");
    // On Windows the parser would take "/tmp/x.hex" for a "/option"; every
    // option here is spelled with "--", so an argument starting with "/" is a file.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "tarvane-update " TARVANE_VERSION);

    std::string boardText;
    std::string deviceText = "usb";
    std::string file;
    std::string inspectPath;

    auto* boardOption = app.add_option("--board", boardText, "The board to update: interface or display")
                            ->check(CLI::IsMember({"interface", "display"}, CLI::ignore_case))
                            ->type_name("interface|display");
    app.add_option("--device", deviceText,
                   "Where the bootloader is: usb (the first one found), usb:PATH, "
                   "tcp:HOST:PORT (a simulated board served by tarvane-sim) or sim "
                   "(a simulated board inside this program)")
        ->type_name("ADDRESS")
        ->capture_default_str();
    auto* fileOption = app.add_option("file", file, "The board's firmware file")->type_name("FILE.hex");
    auto* inspectOption =
        app.add_option("--inspect", inspectPath,
                       "Check a HEX file and print its verification range (start, length, crc), its record count "
                       "and its data bytes; no device is touched")
            ->type_name("FILE.hex");
    inspectOption->excludes(boardOption)->excludes(fileOption);
    bool list = false;
    app.add_flag("--list", list,
                 "List the connected bootloaders, one per line, each with the device address that --device takes; "
                 "with --device, only that address")
        ->excludes(boardOption)
        ->excludes(fileOption)
        ->excludes(inspectOption);
    bool json = false;
    app.add_flag("--json", json,
                 "Print one JSON object per line instead of plain lines: log, progress, error, and a last result");
    double waitSeconds = 0;
    app.add_option("--wait", waitSeconds,
                   "Wait up to SECONDS for a bootloader to appear before searching for it, so the board can be "
                   "plugged in after the command starts")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 86400.0));
    std::string tracePath;
    app.add_option("--trace", tracePath,
                   "Write every report of the update, both ways, with its time, to FILE (a text file that "
                   "tarvane-sim --replay plays back); a file that cannot be written stops the command first")
        ->type_name("FILE")
        ->excludes(inspectOption);
    app.footer("Standard output carries the log, line by line, as the window shows it; errors go to standard\n"
               "error as \"error: TEXT\".\n"
               "Exit status: 0 updated, 1 update failed after the device was found, 2 usage error,\n"
               "3 the HEX file cannot be loaded or fails its check, 4 device not found.");

#ifdef _WIN32
    // The narrow argv holds the ANSI code page; a path with other characters
    // would not open. The wide command line, as UTF-8, keeps every one.
    SetConsoleOutputCP(CP_UTF8);
    const std::vector<std::string> utf8Args = utf8CommandLine();
    std::vector<char*> utf8Argv;
    for (const std::string& arg : utf8Args) utf8Argv.push_back(const_cast<char*>(arg.c_str()));
    if (!utf8Argv.empty()) {
        argc = static_cast<int>(utf8Argv.size());
        argv = utf8Argv.data();
    }
#endif
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // CLI11 reports --help and --version through this path with status 0.
        return app.exit(e) == 0 ? kExitUpdated : kExitUsage;
    }

    if (!inspectPath.empty()) return inspectHexFile(inspectPath, std::cout, std::cerr);

    std::string error;
    const auto address = parseDeviceAddress(deviceText, error);
    if (!address) {
        std::cerr << "error: " << error << "\n";
        return kExitUsage;
    }
    if (list) return listDevices(*address, std::cout, std::cerr);
    const BoardKind board = boardText.empty()                ? BoardKind::None
                            : (boardText[0] | 0x20) == 'i' ? BoardKind::Interface
                                                           : BoardKind::Display;
    if (board == BoardKind::None || file.empty()) {
        std::cerr << "error: an update needs --board interface|display and FILE.hex\n"
                  << "Run with --help for more information.\n";
        return kExitUsage;
    }
#ifdef _WIN32
    const bool terminal = _isatty(_fileno(stderr)) != 0;
#else
    const bool terminal = isatty(STDERR_FILENO) != 0;
#endif
    UpdateOptions options;
    options.board = board;
    options.address = *address;
    options.file = file;
    options.json = json;
    options.waitSeconds = waitSeconds;
    options.progressBar = terminal && !json;
    options.trace = tracePath;
    options.commandLine = commandLineText(argc, argv);
    return runUpdate(options, std::cout, std::cerr);
}
