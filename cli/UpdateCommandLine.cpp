#include "cli/UpdateCommandLine.h"

#include "cli/ExitStatus.h"
#include "cli/SameBoard.h"
#include "res/ProgramLine.h"
#include "trace/TraceFormat.h"
#include "usb/PortFactory.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <utility>

namespace tarvane {

namespace {

// A term and what it means, laid out like an option in --help.
struct HelpEntry {
    std::string term;
    std::string text;
};

struct HelpSection {
    std::string title;
    std::vector<HelpEntry> entries;
    std::string note;
};

constexpr const char* kWhatGroup = "What to update";
constexpr const char* kWhereGroup = "Where the board is";
constexpr const char* kOutputGroup = "Output";
constexpr const char* kHelpGroup = "Help";

constexpr std::size_t kTextColumn = 22;
constexpr std::size_t kLineWidth = 79;

// Words of `text` after `line`, broken before kLineWidth; further lines start at `indent`.
void appendWrapped(std::string& out, std::string line, const std::string& text, std::size_t indent) {
    std::istringstream words(text);
    bool lineHasWords = false;
    for (std::string word; words >> word;) {
        if (lineHasWords && line.size() + 1 + word.size() > kLineWidth) {
            out += line + "\n";
            line.assign(indent, ' ');
            lineHasWords = false;
        }
        if (lineHasWords) line += ' ';
        line += word;
        lineHasWords = true;
    }
    out += line + "\n";
}

void appendEntry(std::string& out, const HelpEntry& entry) {
    std::string line = "  " + entry.term;
    // A term too long for its column has its text on the next line, as help2man reads it.
    if (line.size() + 2 > kTextColumn) {
        out += line + "\n";
        line.clear();
    }
    line.resize(kTextColumn, ' ');
    appendWrapped(out, std::move(line), entry.text, kTextColumn);
}

void appendSection(std::string& out, const HelpSection& section) {
    out += "\n" + section.title + ":\n";
    for (const HelpEntry& entry : section.entries) appendEntry(out, entry);
    if (!section.note.empty()) appendWrapped(out, "  ", section.note, 2);
}

// How an option reads in --help: its names, then what it takes. CLI11 adds
// each check's description to the type name after a colon; the help says the
// allowed values in words instead.
std::string helpTerm(const CLI::Option& option) {
    const std::string typeName = option.get_type_name().substr(0, option.get_type_name().find(':'));
    const std::string value = !option.get_option_text().empty() ? option.get_option_text() : typeName;
    if (!option.nonpositional()) return value;
    std::string names;
    for (const std::string& name : option.get_snames()) names += "-" + name + ", ";
    for (const std::string& name : option.get_lnames()) names += "--" + name + ", ";
    names.resize(names.size() - 2);
    return option.get_type_size() == 0 ? names : names + " " + value;
}

// --help as people read it: what the tool does, how to call it, the options
// by group with one line each, then the sections that follow them. It reads
// the options from the parser itself, so help and options cannot drift.
class UpdateHelpFormatter : public CLI::FormatterBase {
public:
    UpdateHelpFormatter(std::vector<std::string> usage, std::vector<std::string> groups,
                        std::vector<HelpSection> trailer)
        : usage_(std::move(usage)), groups_(std::move(groups)), trailer_(std::move(trailer)) {}

    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        std::string out = app->get_description() + "\n\n";
        // "Usage:" then "or:" lines: the form help2man takes for the man page's synopsis.
        for (const std::string& form : usage_) {
            out += (&form == &usage_.front() ? "Usage: " : "  or:  ") + form + "\n";
        }
        // An option left out of the named groups still shows, after them.
        std::vector<std::string> groups = groups_;
        for (const CLI::Option* option : app->get_options()) {
            const std::string& group = option->get_group();
            if (group.empty() || std::find(groups.begin(), groups.end(), group) != groups.end()) continue;
            groups.push_back(group);
        }
        for (const std::string& group : groups) {
            HelpSection section{group, {}, {}};
            for (const CLI::Option* option : app->get_options()) {
                if (option->get_group() != group) continue;
                section.entries.push_back({helpTerm(*option), option->get_description()});
            }
            appendSection(out, section);
        }
        for (const HelpSection& section : trailer_) appendSection(out, section);
        return out;
    }

private:
    std::vector<std::string> usage_;
    std::vector<std::string> groups_;
    std::vector<HelpSection> trailer_;
};

std::vector<HelpEntry> exitStatusEntries() {
    std::vector<HelpEntry> entries;
    for (const ExitStatusMeaning& status : kExitStatusMeanings) {
        entries.push_back({std::to_string(static_cast<int>(status.status)), std::string(status.meaning)});
    }
    return entries;
}

std::shared_ptr<UpdateHelpFormatter> helpFormatter() {
    return std::make_shared<UpdateHelpFormatter>(
        std::vector<std::string>{"tarvane-update --board BOARD [--device ADDRESS]... [OPTIONS] FILE.hex",
                                 "tarvane-update --board BOARD --all [OPTIONS] FILE.hex",
                                 "tarvane-update --board BOARD --station FILE.hex [OPTIONS]",
                                 "tarvane-update --inspect FILE.hex", "tarvane-update --list [--device ADDRESS]"},
        std::vector<std::string>{kWhatGroup, kWhereGroup, kOutputGroup, kHelpGroup},
        std::vector<HelpSection>{
            {"Device addresses",
             {{"usb", "The first USB bootloader found (the default)"},
              {"usb:PATH", "That USB bootloader, by the path --list shows"},
              {"tcp:HOST:PORT", "A board served over TCP, such as by tarvane-sim"},
              {"sim", "A simulated board inside this program"}},
             {}},
            {"Exit status", exitStatusEntries(),
             "With several boards or a station: 0 when every board ended updated, verified or current, otherwise the highest "
             "status of any board."},
        });
}

} // namespace

std::optional<int> parseUpdateCommandLine(int argc, const char* const* argv, UpdateCommandLine& result,
                                          std::ostream& out, std::ostream& err) {
    CLI::App app{"Updates the firmware of a Tarvane board through its USB bootloader."};
    app.name("tarvane-update");
    app.formatter(helpFormatter());
    // On Windows the parser would take "/tmp/x.hex" for a "/option"; every
    // option here is spelled with "--", so an argument starting with "/" is a file.
    app.allow_windows_style_options(false);
    app.get_help_ptr()->description("Print this help and exit")->group(kHelpGroup);
    app.set_version_flag("--version", programLine("tarvane-update"))
        ->description("Print the version and exit")
        ->group(kHelpGroup);

    UpdateOptions& options = result.options;
    // The order of the options decides which of two clashing options an error names first.
    std::string boardText;
    std::vector<std::string> deviceTexts;
    std::string file;
    std::string inspectPath;

    auto* boardOption = app.add_option("--board", boardText, "The board to update: interface or display")
                            ->check(CLI::IsMember({"interface", "display"}, CLI::ignore_case))
                            // CLI11's own errors name the values; the help's usage lines need a short word.
                            ->type_name("interface|display")
                            ->option_text("BOARD")
                            ->group(kWhatGroup);
    auto* deviceOption =
        app.add_option("--device", deviceTexts, "Where the bootloader is (below); once for each board")
            ->type_name("ADDRESS")
            ->allow_extra_args(false)
            ->group(kWhereGroup);
    auto* allOption = app.add_flag("--all", options.all, "Update every bootloader --list shows, all at once")
                          ->excludes(deviceOption)
                          ->group(kWhereGroup);
    auto* verifyOption =
        app.add_flag("--verify-only", options.verifyOnly, "Only compare the board with the file: nothing is written")
            ->group(kWhatGroup);
    auto* skipOption = app.add_flag("--skip-current", options.skipCurrent,
                                    "Leave a board that already holds the file untouched")
                           ->excludes(verifyOption)
                           ->group(kWhatGroup);
    std::string stationFile;
    auto* stationOption =
        app.add_option("--station", stationFile, "Update every board that appears, each once, until stopped")
            ->type_name("FILE.hex")
            ->excludes(allOption)
            ->excludes(verifyOption)
            ->group(kWhatGroup);
    app.add_option("--count", options.count, "With --station: stop once N boards have ended")
        ->type_name("N")
        ->check(CLI::PositiveNumber)
        ->needs(stationOption)
        ->group(kWhatGroup);
    app.add_option("--report-dir", options.reportDir, "With --station: a support report in DIR for each failed board")
        ->type_name("DIR")
        ->needs(stationOption)
        ->group(kOutputGroup);
    (void)skipOption;
    auto* fileOption = app.add_option("file", file, "The board's firmware, an Intel HEX file")
                           ->type_name("FILE.hex")
                           ->group(kWhatGroup);
    auto* inspectOption =
        app.add_option("--inspect", inspectPath, "Only check a HEX file and print its verification range")
            ->type_name("FILE.hex")
            ->group(kOutputGroup);
    inspectOption->excludes(boardOption)->excludes(fileOption)->excludes(stationOption);
    stationOption->excludes(fileOption);
    bool list = false;
    auto* listOption =
        app.add_flag("--list", list, "List connected bootloaders (with --device: that one)")
            ->excludes(boardOption)
            ->excludes(fileOption)
            ->excludes(inspectOption)
            ->excludes(allOption)
            ->excludes(verifyOption)
            ->group(kWhereGroup);
    inspectOption->excludes(allOption)->excludes(verifyOption);
    app.add_flag("--json", options.json, "Print one JSON object per line instead of plain lines")->group(kOutputGroup);
    app.add_option("--wait", options.waitSeconds, "Wait up to SECONDS for a bootloader to be plugged in")
        ->type_name("SECONDS")
        // The range alone would let "nan" through, taken as no wait at all.
        ->check(CLI::Validator(
            [](std::string& text) {
                return std::isfinite(std::strtod(text.c_str(), nullptr)) ? std::string()
                                                                          : "Value " + text + " is not a finite number";
            },
            "", "FINITE"))
        ->check(CLI::Range(0.0, 86400.0))
        ->group(kWhereGroup);
    app.add_option("--trace", options.trace, "Record every report to FILE, for tarvane-sim --replay")
        ->type_name("FILE")
        ->excludes(inspectOption)
        ->excludes(listOption)
        ->group(kOutputGroup);
    app.add_option("--report", options.report, "Write a support report to FILE when the update ends")
        ->type_name("FILE")
        ->excludes(inspectOption)
        ->excludes(listOption)
        ->group(kOutputGroup);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // CLI11 reports --help and --version through this path with status 0.
        return app.exit(e, out, err) == 0 ? kExitUpdated : kExitUsage;
    }

    if (!inspectPath.empty()) {
        result.action = UpdateCommandLine::Action::Inspect;
        options.file = inspectPath;
        return std::nullopt;
    }

    options.station = !stationFile.empty();
    if (options.station) file = stationFile;
    // --all and a station without --device find their boards as they run.
    if (deviceTexts.empty() && !options.all && !options.station) deviceTexts.push_back("usb");
    for (const std::string& text : deviceTexts) {
        std::string error;
        const auto address = parseDeviceAddress(text, error);
        if (!address) {
            err << "error: " << error << "\n";
            return kExitUsage;
        }
        // A board cannot take two updates at once, by whatever address it is reached.
        const auto repeated = std::find_if(options.boards.begin(), options.boards.end(),
                                           [&](const BoardTarget& b) { return sameBoard(b.address, *address); });
        if (repeated != options.boards.end()) {
            if (repeated->address.toString() == address->toString()) {
                err << "error: the device " << address->toString() << " is given more than once\n";
            } else {
                err << "error: the devices " << repeated->address.toString() << " and " << address->toString()
                    << " are one board\n";
            }
            return kExitUsage;
        }
        options.boards.push_back({*address, openReportPort});
    }
    if (list) {
        if (options.boards.size() > 1) {
            err << "error: --list takes one --device\n";
            return kExitUsage;
        }
        result.action = UpdateCommandLine::Action::List;
        return std::nullopt;
    }
    if (options.boards.size() > 1 || options.station) {
        for (const BoardTarget& b : options.boards) {
            if (b.address.kind == DeviceAddress::Kind::Usb && b.address.path.empty()) {
                err << "error: with several boards, name each USB bootloader by its path (usb:PATH, as "
                       "--list shows it), or use --all\n";
                return kExitUsage;
            }
        }
    }
    options.board = boardText.empty()                ? BoardKind::None
                    : (boardText[0] | 0x20) == 'i' ? BoardKind::Interface
                                                   : BoardKind::Display;
    if (options.board == BoardKind::None || file.empty()) {
        err << "error: an update needs --board interface|display and FILE.hex\n"
            << "Run with --help for more information.\n";
        return kExitUsage;
    }
    result.action = UpdateCommandLine::Action::Update;
    options.file = file;
    options.commandLine = commandLineText(argc, argv);
    return std::nullopt;
}

} // namespace tarvane
