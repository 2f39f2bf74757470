#include "cli/UpdateCommandLine.h"

#include "cli/ExitStatus.h"
#include "res/version.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>

namespace tarvane {

std::optional<int> parseUpdateCommandLine(int argc, const char* const* argv, UpdateCommandLine& result,
                                          std::ostream& out, std::ostream& err) {
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
    auto* allOption = app.add_flag("--all", result.all,
                                   "Update every bootloader that --list shows, all at once (at least one must be "
                                   "found); with --wait, wait until one appears")
                          ->excludes(deviceOption);
    auto* verifyOption = app.add_flag("--verify-only", result.verifyOnly,
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
    app.add_flag("--json", result.json,
                 "Print one JSON object per line instead of plain lines: log, progress, error, and a last result");
    app.add_option("--wait", result.waitSeconds,
                   "Wait up to SECONDS for a bootloader to appear before searching for it, so the board can be "
                   "plugged in after the command starts")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 86400.0));
    app.add_option("--trace", result.tracePath,
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

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // CLI11 reports --help and --version through this path with status 0.
        return app.exit(e, out, err) == 0 ? kExitUpdated : kExitUsage;
    }

    if (!inspectPath.empty()) {
        result.action = UpdateCommandLine::Action::Inspect;
        result.file = inspectPath;
        return std::nullopt;
    }

    if (deviceTexts.empty()) deviceTexts.push_back("usb");
    for (const std::string& text : deviceTexts) {
        std::string error;
        const auto address = parseDeviceAddress(text, error);
        if (!address) {
            err << "error: " << error << "\n";
            return kExitUsage;
        }
        // A board cannot take two updates at once.
        const bool repeated = std::any_of(result.devices.begin(), result.devices.end(),
                                          [&](const DeviceAddress& a) { return a.toString() == address->toString(); });
        if (repeated) {
            err << "error: the device " << address->toString() << " is given more than once\n";
            return kExitUsage;
        }
        result.devices.push_back(*address);
    }
    if (list) {
        if (result.devices.size() > 1) {
            err << "error: --list takes one --device\n";
            return kExitUsage;
        }
        result.action = UpdateCommandLine::Action::List;
        return std::nullopt;
    }
    if (result.devices.size() > 1) {
        for (const DeviceAddress& a : result.devices) {
            if (a.kind == DeviceAddress::Kind::Usb && a.path.empty()) {
                err << "error: with several boards, name each USB bootloader by its path (usb:PATH, as "
                       "--list shows it), or use --all\n";
                return kExitUsage;
            }
        }
    }
    result.board = boardText.empty()                ? BoardKind::None
                   : (boardText[0] | 0x20) == 'i' ? BoardKind::Interface
                                                  : BoardKind::Display;
    if (result.board == BoardKind::None || file.empty()) {
        err << "error: an update needs --board interface|display and FILE.hex\n"
            << "Run with --help for more information.\n";
        return kExitUsage;
    }
    result.action = UpdateCommandLine::Action::Update;
    result.file = file;
    return std::nullopt;
}

} // namespace tarvane
