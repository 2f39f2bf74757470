#include "cli/HexReport.h"
#include "cli/ListDevices.h"
#include "cli/RunStation.h"
#include "cli/RunUpdate.h"
#include "cli/StopSignal.h"
#include "cli/UpdateCommandLine.h"
#include "startup/StartUp.h"

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
    const StartUp start = startUp(FrontEnd::Terminal, "tarvane-update", argc, argv);

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
    UpdateCommandLine request;
    if (const auto status = parseUpdateCommandLine(argc, argv, request, std::cout, std::cerr)) return *status;

    switch (request.action) {
    case UpdateCommandLine::Action::Inspect:
        return inspectHexFile(request.options.file, std::cout, std::cerr);
    case UpdateCommandLine::Action::List:
        return listDevices(request.options.boards.front().address, std::cout, std::cerr);
    case UpdateCommandLine::Action::Update:
        break;
    }
#ifdef _WIN32
    const bool terminal = _isatty(_fileno(stderr)) != 0;
#else
    const bool terminal = isatty(STDERR_FILENO) != 0;
#endif
    UpdateOptions& options = request.options;
    options.progressBar = terminal && !options.json;
    if (!options.report.empty()) options.system = start.system;
    if (options.station) {
        options.progressBar = false;
        // The first Ctrl-C lets updates under way finish, the second interrupts them.
        const std::atomic<bool>& stop = catchStopSignals(2);
        return runStation(options, std::cout, std::cerr, stop, stopRepeated());
    }
    return runUpdate(options, std::cout, std::cerr, catchStopSignals());
}
