#include "tests/support/BoardRecord.h"
#include "firmware/HexFile.h"

#include "firmware/FlashImage.h"
#include "firmware/HexFileReader.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace tarvane::test {

std::vector<LoggedRequest> readRequestLog(const std::filesystem::path& path) {
    std::vector<LoggedRequest> requests;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        LoggedRequest r;
        if (std::sscanf(line.c_str(), "t=%lfms cmd=%d len=%d", &r.ms, &r.command, &r.length) == 3) {
            requests.push_back(r);
        }
    }
    return requests;
}

std::size_t countRequests(const std::vector<LoggedRequest>& log, int command) {
    return static_cast<std::size_t>(
        std::count_if(log.begin(), log.end(), [command](const LoggedRequest& r) { return r.command == command; }));
}

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string flashMismatch(const std::vector<std::uint8_t>& flash, const std::string& hexFile) {
    HexFileReader reader;
    if (!reader.open(loadHexFile(hexFile)->bytes)) return "cannot open " + hexFile;
    FlashImage image;
    loadImage(reader, image);
    constexpr std::size_t kFlashSize = 512 * 1024;
    if (flash.size() < kFlashSize) return "the dump holds " + std::to_string(flash.size()) + " bytes";
    const auto diff = std::mismatch(image.data(), image.data() + kFlashSize, flash.begin());
    if (diff.first == image.data() + kFlashSize) return {};
    char text[96];
    std::snprintf(text, sizeof text, "the board's flash differs from the file's image at offset 0x%05zX",
                  static_cast<std::size_t>(diff.first - image.data()));
    return text;
}

const std::vector<std::string>& successLog() {
    static const std::vector<std::string> lines{"Update started",
                                                "Connecting...",
                                                "Connected",
                                                "Flash erased",
                                                "Programming flash...",
                                                "Programming complete",
                                                "Verification successful",
                                                "=== UPGRADE COMPLETE ===",
                                                "a) Remove the USB-C CHARGER and micro\xE2\x80\x93"
                                                "B USB cables",
                                                "b) Slide the switch S4 to OFF and then to ON",
                                                "c) Push the POWER button to power up the Tarvane"};
    return lines;
}

const std::vector<std::string>& noResponseLog() {
    static const std::vector<std::string> lines{"",
                                                ">> No Response from the device!",
                                                "a) Verify that the micro\xE2\x80\x93"
                                                "B USB cable is plugged in correctly",
                                                "b) Remove the USB-C CHARGER cable",
                                                "c) Repeat STEP 4 above"};
    return lines;
}

const std::vector<std::string>& stallLog() {
    static const std::vector<std::string> lines{"",
                                                ">> Timeout detected!",
                                                ">> The device may not be in bootloader mode",
                                                "a) Remove the USB-C CHARGER cable",
                                                "b) Repeat STEP 4 above"};
    return lines;
}

} // namespace tarvane::test
