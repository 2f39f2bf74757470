#include "cli/BoardRun.h"

#include "cli/WaitForDevice.h"
#include "firmware/Utf8Path.h"
#include "front/BoardTexts.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace tarvane {
namespace {

constexpr int kTickTimer = 1;

// The window's file dialog answers with a full path; so does the terminal.
std::string fullPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(pathFromUtf8(path), ec);
    return ec ? path : utf8FromPath(full);
}

UpdateMode modeFor(const UpdateOptions& options) {
    if (options.verifyOnly) return UpdateMode::VerifyOnly;
    return options.board == BoardKind::Display ? UpdateMode::UpdateAndStart : UpdateMode::Update;
}

} // namespace

BoardRun::BoardRun(BoardTarget target, std::unique_ptr<TerminalOutput> output)
    : target_(std::move(target)), output_(std::move(output)), update_(*output_, *this, link_) {
    link_.useDevice(target_.address, target_.opener);
    output_->whenEnded([this] { loop_.quit(); });
}

void BoardRun::run(const UpdateOptions& options, std::shared_ptr<const HexFile> file, const std::atomic<bool>& stop) {
    const auto started = std::chrono::steady_clock::now();
    loop_.post([&] {
        // The lines the window's log starts with once the board and the file are chosen.
        if (const BoardTexts* texts = boardTexts(options.board)) output_->logLine(std::string(texts->selectedLine));
        output_->logLine(std::string(kFileSelectedLine));
        const std::string path = fullPath(options.file);
        update_.useLoadedFile(path, file);
        update_.setMode(modeFor(options));
        update_.setSkipCurrent(options.skipCurrent && !options.verifyOnly);
        // A production line starts the command, then plugs the next board in;
        // the file may have changed meanwhile, and what is sent is what is read
        // now. --all has waited once, before it looked for the boards.
        if (options.waitSeconds > 0 && !options.all && file->check.ok) {
            waitForDevice(target_.address, options.waitSeconds, *output_, &stop);
            if (!stop.load()) update_.useLoadedFile(path, reloadHexFile(file));
        }
        if (stop.load()) {
            update_.interrupt();
        } else {
            update_.start(path);
        }
    });
    // Every path of the sequence ends by a response, a time-out, the stall
    // watchdog or an interruption; the loop has nothing else to wait for.
    while (!output_->outcome()) loop_.run();
    seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

void BoardRun::interrupt() {
    loop_.post([this] {
        if (!output_->outcome()) update_.interrupt();
    });
}

void BoardRun::startTicks(int periodMs) {
    loop_.startTimer(kTickTimer, periodMs, [this] { update_.onTick(); });
}

void BoardRun::stopTicks() {
    loop_.killTimer(kTickTimer);
}

void BoardRun::pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void BoardRun::post(LinkMessage message) {
    loop_.post([this, m = std::move(message)] { update_.onLinkMessage(m); });
}

} // namespace tarvane
