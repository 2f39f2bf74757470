// tarvane-update's command line, parsed in process: what each form asks for,
// the usage errors of our own, and --help's layout.
#include "cli/UpdateCommandLine.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tarvane {
namespace {

struct Parsed {
    std::optional<int> status;
    UpdateCommandLine request;
    std::string out;
    std::string err;
};

Parsed parse(std::vector<const char*> args) {
    args.insert(args.begin(), "tarvane-update");
    Parsed p;
    std::ostringstream out;
    std::ostringstream err;
    p.status = parseUpdateCommandLine(static_cast<int>(args.size()), args.data(), p.request, out, err);
    p.out = out.str();
    p.err = err.str();
    return p;
}

TEST(UpdateCommandLine, EachFormAsksForItsAction) {
    auto p = parse({"--board", "Interface", "--device", "sim", "--device", "tcp:127.0.0.1:5000", "--verify-only",
                    "--json", "--wait", "2.5", "--trace", "run.trace", "a.hex"});
    ASSERT_FALSE(p.status) << p.err;
    EXPECT_EQ(p.request.action, UpdateCommandLine::Action::Update);
    EXPECT_EQ(p.request.options.board, BoardKind::Interface);
    ASSERT_EQ(p.request.options.boards.size(), 2u);
    EXPECT_EQ(p.request.options.boards[1].address.toString(), "tcp:127.0.0.1:5000");
    EXPECT_TRUE(p.request.options.verifyOnly && p.request.options.json && !p.request.options.all);
    EXPECT_EQ(p.request.options.waitSeconds, 2.5);
    EXPECT_EQ(p.request.options.trace, "run.trace");
    EXPECT_EQ(p.request.options.file, "a.hex");

    p = parse({"--board", "display", "--all", "a.hex"});
    ASSERT_FALSE(p.status) << p.err;
    EXPECT_TRUE(p.request.options.all);
    EXPECT_EQ(p.request.options.board, BoardKind::Display);

    p = parse({"--list"});
    ASSERT_FALSE(p.status) << p.err;
    EXPECT_EQ(p.request.action, UpdateCommandLine::Action::List);
    ASSERT_EQ(p.request.options.boards.size(), 1u);
    EXPECT_EQ(p.request.options.boards[0].address.toString(), "usb") << "usb is the default address";

    p = parse({"--inspect", "a.hex"});
    ASSERT_FALSE(p.status) << p.err;
    EXPECT_EQ(p.request.action, UpdateCommandLine::Action::Inspect);
    EXPECT_EQ(p.request.options.file, "a.hex");
}

TEST(UpdateCommandLine, UsageErrorsSayWhyOnStandardErrorWithStatusTwo) {
    const std::pair<std::vector<const char*>, std::string> cases[] = {
        {{"--board", "display", "--device", "sim", "--device", "sim", "a.hex"},
         "error: the device sim is given more than once\n"},
        {{"--board", "display", "--device", "usb", "--device", "sim", "a.hex"},
         "error: with several boards, name each USB bootloader by its path (usb:PATH, as --list shows it), or use "
         "--all\n"},
        {{"--list", "--device", "sim", "--device", "tcp:127.0.0.1:5000"}, "error: --list takes one --device\n"},
        {{"--device", "sim", "a.hex"},
         "error: an update needs --board interface|display and FILE.hex\nRun with --help for more information.\n"},
        {{"--board", "display", "--inspect", "a.hex"},
         "--board excludes --inspect\nRun with --help for more information.\n"},
    };
    for (const auto& [args, message] : cases) {
        const Parsed p = parse(args);
        EXPECT_EQ(p.status, 2) << message;
        EXPECT_EQ(p.err, message);
        EXPECT_EQ(p.out, "");
    }
}

TEST(UpdateCommandLine, HelpIsForPeople) {
    const Parsed p = parse({"--help"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.err, "");
    std::istringstream lines(p.out);
    std::vector<std::string> titles;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 79u) << line;
        for (const char* notation : {"Excludes", "Positionals", "{", ":FLOAT"}) {
            EXPECT_EQ(line.find(notation), std::string::npos) << line;
        }
        if (!line.empty() && line.back() == ':' && line[0] != ' ') titles.push_back(line);
    }
    const std::vector<std::string> expected{"What to update:", "Where the board is:", "Output:",
                                            "Help:",           "Device addresses:",   "Exit status:"};
    EXPECT_EQ(titles, expected);
    EXPECT_NE(p.out.find("\n  --board BOARD       The board to update: interface or display\n"), std::string::npos);
}

} // namespace
} // namespace tarvane
