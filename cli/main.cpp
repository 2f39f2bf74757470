#include "cli/ExitStatus.h"
#include "cli/HexReport.h"
#include "cli/ListDevices.h"
#include "cli/RunUpdate.h"
#include "cli/StopSignal.h"
#include "res/version.h"
#include "startup/StartUp.h"
#include "trace/TraceFormat.h"
#include "usb/PortFactory.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include "win32/WideText.h"

#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

int main(int argc, char** argv) {
    using namespace tarvane;
    startUpFrontEnd();

    CLI::App app{"Updates the firmware of a Tarvane board through its USB bootloader.\n\n"
                 "  tarvane-update --board interface|display [--device ADDRESS]... [--verify-only] [--json] [--wait SECONDS] [--trace FILE] FILE.hex\n"
                 "  tarvane-update --board interface|display --all [--verify-only] [--json] [--wait SECONDS] [--trace FILE] FILE.hex\n"
                 "  tarvane-update --inspect FILE.hex\n"
                 "  tarvane-update --list [--device ADDRESS]\n"};
    app.name("tarvane-update");
    // On Windows the parser would take "/tmp/x.hex" for a "/option"; every
    // option here is spelled with "--", so an argument starting with "/" is a file.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "tarvane-update " TARVANE_VERSION);

    std::string boardText;
    std::vector<std::string> deviceTexts;
    std::string file;
    std::string inspectPath;

    auto* boardOption = app.add_option("--board", boardText, "The board to update: interface or display")
                            ->check(CLI::IsMember({"interface", "display"}, CLI::ignore_case))
                            ->type_name("interface|display");
    auto* deviceOption =
        app.add_option("--device", deviceTexts,
                       "Where the bootloader is: usb (the first one found, the default), usb:PATH, "
                       "tcp:HOST:PORT (a simulated board served by tarvane-sim) or sim "
                       "(a simulated board inside this program). Give it once per board to update "
                       "several boards at once")
            ->type_name("ADDRESS")
            ->allow_extra_args(false);
    bool all = false;
    auto* allOption = app.add_flag("--all", all,
                                   "Update every bootloader that --list shows, all at once (at least one must be "
                                   "found); with --wait, wait until one appears")
                          ->excludes(deviceOption);
    bool verifyOnly = false;
    auto* verifyOption = app.add_flag("--verify-only", verifyOnly,
                                      "Only check that the board holds the file: compare the board's CRC of the "
                                      "file's verification range; no erase, no programming, no start");
    auto* fileOption = app.add_option("file", file, "The board's firmware file")->type_name("FILE.hex");
    auto* inspectOption =
        app.add_option("--inspect", inspectPath,
                       "Check a HEX file and print its verification range (start, length, crc), its record count "
                       "and its data bytes; no device is touched")
            ->type_name("FILE.hex");
    inspectOption->excludes(boardOption)->excludes(fileOption);
    bool list = false;
    auto* listOption = app.add_flag("--list", list,
                 "List the connected bootloaders, one per line, each with the device address that --device takes; "
                 "with --device, only that address")
        ->excludes(boardOption)
        ->excludes(fileOption)
        ->excludes(inspectOption)
        ->excludes(allOption)
        ->excludes(verifyOption);
    inspectOption->excludes(allOption)->excludes(verifyOption);
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
                   "tarvane-sim --replay plays back); a file that cannot be written stops the command first. "
                   "With several boards each has its own file, numbered: FILE-1.EXT, FILE-2.EXT, ...")
        ->type_name("FILE")
        ->excludes(inspectOption)
        ->excludes(listOption);
    app.footer("Standard output carries the log, line by line, as the window shows it; errors go to standard\n"
               "error as \"error: TEXT\". With several boards every line starts with the board's address in\n"
               "brackets, and one summary line per board ends the output. Ctrl-C stops every board cleanly.\n"
               "Exit status: 0 updated (or verified), 1 update or verification failed after the device was\n"
               "found, or interrupted, 2 usage error, 3 the HEX file cannot be loaded or fails its check,\n"
               "4 device not found. With several boards: 0 when every board ended updated (or verified),\n"
               "otherwise the highest status of any board.");

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

    if (deviceTexts.empty()) deviceTexts.push_back("usb");
    std::vector<DeviceAddress> addresses;
    for (const std::string& text : deviceTexts) {
        std::string error;
        const auto address = parseDeviceAddress(text, error);
        if (!address) {
            std::cerr << "error: " << error << "\n";
            return kExitUsage;
        }
        // A board cannot take two updates at once.
        const bool repeated = std::any_of(addresses.begin(), addresses.end(), [&](const DeviceAddress& a) {
            return a.toString() == address->toString();
        });
        if (repeated) {
            std::cerr << "error: the device " << address->toString() << " is given more than once\n";
            return kExitUsage;
        }
        addresses.push_back(*address);
    }
    if (list) {
        if (addresses.size() > 1) {
            std::cerr << "error: --list takes one --device\n";
            return kExitUsage;
        }
        return listDevices(addresses.front(), std::cout, std::cerr);
    }
    if (addresses.size() > 1) {
        for (const DeviceAddress& a : addresses) {
            if (a.kind == DeviceAddress::Kind::Usb && a.path.empty()) {
                std::cerr << "error: with several boards, name each USB bootloader by its path (usb:PATH, as "
                             "--list shows it), or use --all\n";
                return kExitUsage;
            }
        }
    }
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
    if (!all) {
        for (const DeviceAddress& a : addresses) options.boards.push_back({a, openReportPort});
    }
    options.all = all;
    options.file = file;
    options.verifyOnly = verifyOnly;
    options.json = json;
    options.waitSeconds = waitSeconds;
    options.progressBar = terminal && !json;
    options.trace = tracePath;
    options.commandLine = commandLineText(argc, argv);
    return runUpdate(options, std::cout, std::cerr, catchStopSignals());
}
