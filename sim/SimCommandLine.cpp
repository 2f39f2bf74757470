#include "sim/SimCommandLine.h"

#include "link/Protocol.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <iostream>
#include <vector>

namespace tarvane {

namespace {

bool parseNumber(const std::string& text, std::uint32_t& value) {
    int base = 10;
    std::size_t skip = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        skip = 2;
    }
    const char* first = text.data() + skip;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, value, base);
    return ec == std::errc{} && end == last && first != last;
}

// Turns the textual fault options into SimFaults; false with a message on a bad value.
bool convertCommands(const std::vector<std::string>& names, std::set<std::uint8_t>& commands, std::string& error) {
    for (const auto& name : names) {
        const auto command = parseCommandName(name);
        if (!command) {
            error = "unknown command '" + name + "'";
            return false;
        }
        commands.insert(*command);
    }
    return true;
}

bool convertAnswerFrom(const std::vector<std::string>& items, std::map<std::uint8_t, std::uint32_t>& result,
                       std::string& error) {
    for (const auto& item : items) {
        const auto colon = item.find(':');
        std::uint32_t n = 0;
        const auto command = colon == std::string::npos ? std::nullopt : parseCommandName(item.substr(0, colon));
        if (!command || !parseNumber(item.substr(colon + 1), n) || n == 0) {
            error = "--answer-from wants COMMAND:N with N >= 1, not '" + item + "'";
            return false;
        }
        result[*command] = n;
    }
    return true;
}

bool convertLateAnswer(const std::vector<std::string>& items, std::map<std::uint8_t, SimFaults::LateAnswer>& result,
                       std::string& error) {
    for (const auto& item : items) {
        const auto first = item.find(':');
        const auto second = first == std::string::npos ? std::string::npos : item.find(':', first + 1);
        std::uint32_t n = 0;
        std::uint32_t ms = 0;
        const auto command = second == std::string::npos ? std::nullopt : parseCommandName(item.substr(0, first));
        if (!command || !parseNumber(item.substr(first + 1, second - first - 1), n) || n == 0 ||
            !parseNumber(item.substr(second + 1), ms)) {
            error = "--late-answer wants COMMAND:N:MS with N >= 1, not '" + item + "'";
            return false;
        }
        result[*command] = SimFaults::LateAnswer{n, std::chrono::milliseconds(ms)};
    }
    return true;
}

} // namespace

std::optional<std::uint8_t> parseCommandName(const std::string& text) {
    if (text == "query") return CMD_QUERY;
    if (text == "erase") return CMD_ERASE;
    if (text == "program") return CMD_PROGRAM;
    if (text == "verify") return CMD_VERIFY;
    if (text == "start" || text == "start-app") return CMD_START_APP;
    std::uint32_t value = 0;
    if (parseNumber(text, value) && value <= 0xFF) return static_cast<std::uint8_t>(value);
    return std::nullopt;
}

bool parseListenAddress(const std::string& text, std::string& host, std::uint16_t& port) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    std::uint32_t value = 0;
    if (!parseNumber(text.substr(colon + 1), value) || value > 0xFFFF) return false;
    port = static_cast<std::uint16_t>(value);
    return !host.empty();
}

std::optional<int> parseSimCommandLine(int argc, char** argv, SimCommandLine& result) {
    CLI::App app{"A simulated Tarvane board in bootloader mode, served over TCP or on a USB gadget HID device\n"
                 "for tests and demonstrations.\n"
                 "COMMAND is query, erase, program, verify, start, or a command byte (e.g. 0x7E)."};
    app.name("tarvane-sim");

    std::string listen;
    std::vector<std::string> silent, unknownAnswer, answerFrom, lateAnswer;
    std::uint32_t delayMs = 0;
    SimFaults& f = result.faults;

    auto* listenOption = app.add_option("--listen", listen,
                                        "Address to serve; port 0 picks a free port, printed as "
                                        "'listening on HOST:PORT' on the first line")
                             ->type_name("HOST:PORT");
    app.add_option("--gadget", result.gadgetPath,
                   "Serve on this USB gadget HID function device (e.g. /dev/hidg0; 64-byte reports, no "
                   "report IDs) instead of TCP; 'serving on DEVICE' is the first line")
        ->type_name("DEVICE")
        ->excludes(listenOption);
    app.add_option("--log", result.logPath, "Append one line per request received: time, command, length, outcome")
        ->type_name("FILE");
    app.add_option("--load", result.loadPath, "Start with the flash holding this HEX file, as if updated with it")
        ->type_name("FILE.hex");
    app.add_option("--dump", result.dumpPath,
                   "Write the raw 512 KiB flash here whenever a connection ends; with --gadget, once the "
                   "board has taken no report for 300 ms after a request, and at exit")
        ->type_name("FILE");
    auto* replayOption =
        app.add_option("--replay", result.replayPath,
                       "Act as the board a trace (tarvane-update --trace) or a support report recorded: each "
                       "request is answered as the recorded board answered the same request, with the same "
                       "delays, or not at all")
            ->type_name("FILE");
    app.add_option("--silent", silent, "Carry out COMMAND but never answer it (repeatable)")->type_name("COMMAND");
    app.add_option("--answer-from", answerFrom, "Ignore COMMAND until its Nth request, answer from then on")
        ->type_name("COMMAND:N");
    app.add_option("--drop-every", f.dropEvery, "Lose every Nth request of any command")->type_name("N");
    app.add_option("--corrupt-crc-every", f.corruptCrcEvery, "Send every Nth answer with a wrong CRC")->type_name("N");
    app.add_flag("--answer-twice", f.answerTwice, "Send every answer twice");
    app.add_flag("--wrong-verify-crc", f.wrongVerifyCrc, "Answer verify requests with a CRC that does not match");
    app.add_option("--unknown-answer", unknownAnswer, "Answer COMMAND with an unknown command byte (repeatable)")
        ->type_name("COMMAND");
    app.add_option("--close-after", f.closeAfter,
                   "Drop the connection at its Nth request, leaving it unanswered; with --gadget, answer "
                   "nothing more from then on")
        ->type_name("N");
    app.add_option("--stop-reading-after", f.stopReadingAfter,
                   "Once N requests have been taken in all, read nothing more from the host, like a hung "
                   "board; answers already queued still go out")
        ->type_name("N");
    app.add_option("--delay", delayMs, "Delay every answer by MS milliseconds")->type_name("MS");
    app.add_option("--late-answer", lateAnswer,
                   "Delay the answer to the Nth request of COMMAND by MS milliseconds more; the answers "
                   "queued behind it wait too (repeatable)")
        ->type_name("COMMAND:N:MS");
    app.add_flag("--usb-timing", f.usbTiming,
                 "Full-speed USB timing: one report per ms each way, 400 ms erase, 25 us per programmed word");
    app.footer("With --replay, the fault switches, --delay, --usb-timing and --dump are refused: the trace\n"
               "decides every answer and there is no flash.\n"
               "The flash (512 KiB at 0x1D000000) is kept from one connection to the next.\n"
               "SIGTERM or SIGINT ends the program cleanly.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help comes this way too, with status 0; every real error is a usage error.
        return app.exit(e) == 0 ? 0 : 2;
    }

    std::string error;
    if (result.gadgetPath.empty()) {
        if (listenOption->count() == 0) {
            error = "give --listen HOST:PORT or --gadget DEVICE";
        } else if (!parseListenAddress(listen, result.host, result.port)) {
            error = "--listen wants HOST:PORT, not '" + listen + "'";
        }
    }
    if (error.empty() && replayOption->count() > 0) {
        // The trace decides every answer; a fault switch would only be ignored.
        for (const CLI::Option* option : app.get_options()) {
            const std::string name = option->get_name();
            const bool allowed = name == "--replay" || name == "--listen" || name == "--gadget" || name == "--log";
            if (!allowed && option->count() > 0) {
                error = "--replay plays the recorded board; it takes no " + name;
                break;
            }
        }
    }
    if (error.empty()) convertCommands(silent, f.silent, error);
    if (error.empty()) convertCommands(unknownAnswer, f.unknownAnswer, error);
    if (error.empty()) convertAnswerFrom(answerFrom, f.answerFrom, error);
    if (error.empty()) convertLateAnswer(lateAnswer, f.lateAnswer, error);
    if (!error.empty()) {
        std::cerr << "tarvane-sim: " << error << "\n";
        return 2;
    }
    f.answerDelay = std::chrono::milliseconds(delayMs);
    return std::nullopt;
}

} // namespace tarvane
