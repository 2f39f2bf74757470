#include "tests/usbvm/UsbGadget.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tarvane::test {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char* const kGadgetRoot = "/sys/kernel/config/usb_gadget/";

// Vendor-defined page, one 64-byte input and one 64-byte output report, no
// report IDs: what the board's bootloader declares.
const unsigned char kReportDescriptor[] = {
    0x06, 0x00, 0xFF,       // usage page (vendor defined 0xFF00)
    0x09, 0x01,             // usage 1
    0xA1, 0x01,             // collection (application)
    0x15, 0x00,             //   logical minimum 0
    0x26, 0xFF, 0x00,       //   logical maximum 255
    0x75, 0x08,             //   report size 8
    0x95, 0x40,             //   report count 64
    0x09, 0x01,             //   usage 1
    0x81, 0x02,             //   input (data, variable, absolute)
    0x95, 0x40,             //   report count 64
    0x09, 0x01,             //   usage 1
    0x91, 0x02,             //   output (data, variable, absolute)
    0xC0,                   // end collection
};

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
    return text;
}

} // namespace

UsbGadget::UsbGadget(std::string name, std::string serial, std::string controller)
    : dir_(kGadgetRoot + name + "/"), serial_(std::move(serial)), controller_(std::move(controller)) {
    std::error_code ec;
    for (const char* sub : {"", "strings/0x409", "configs/c.1", "functions/hid.usb0"}) {
        if (!fs::create_directories(dir_ + sub, ec) && ec) {
            error_ = "cannot make " + dir_ + sub + ": " + ec.message();
            return;
        }
    }
    const std::string descriptor(reinterpret_cast<const char*>(kReportDescriptor), sizeof kReportDescriptor);
    const bool ok = write("idVendor", "0x04d8") && write("idProduct", "0x003c") && write("bcdDevice", "0x0100") &&
                    write("bcdUSB", "0x0200") && write("strings/0x409/manufacturer", "Tarvane") &&
                    write("strings/0x409/product", "Tarvane Bootloader") &&
                    write("strings/0x409/serialnumber", serial_) && write("functions/hid.usb0/protocol", "0") &&
                    write("functions/hid.usb0/subclass", "0") && write("functions/hid.usb0/report_length", "64") &&
                    write("functions/hid.usb0/report_desc", descriptor);
    if (!ok) return;
    fs::create_directory_symlink(dir_ + "functions/hid.usb0", dir_ + "configs/c.1/hid.usb0", ec);
    if (ec) {
        error_ = "cannot add the HID function to the configuration: " + ec.message();
        return;
    }
    // "MAJOR:MINOR" of the function's character device; devtmpfs names it hidgMINOR.
    const std::string dev = readText(dir_ + "functions/hid.usb0/dev");
    const auto colon = dev.find(':');
    if (colon == std::string::npos) {
        error_ = "no device number for the HID function";
        return;
    }
    boardDevice_ = "/dev/hidg" + dev.substr(colon + 1);
    created_ = true;
}

UsbGadget::~UsbGadget() {
    remove();
}

bool UsbGadget::write(const std::string& relative, const std::string& bytes) {
    // configfs takes an attribute in one write.
    const std::string path = dir_ + relative;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    const ssize_t written = fd < 0 ? -1 : ::write(fd, bytes.data(), bytes.size());
    const int saved = errno;
    if (fd >= 0) ::close(fd);
    if (written != static_cast<ssize_t>(bytes.size())) {
        error_ = "cannot write " + path + ": " + std::strerror(saved);
        return false;
    }
    return true;
}

bool UsbGadget::plugIn() {
    if (!created_ || !write("UDC", controller_)) return false;
    bound_ = true;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    struct stat st {};
    while (::stat(boardDevice_.c_str(), &st) != 0) {
        if (Clock::now() > deadline) {
            error_ = boardDevice_ + " did not appear";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool UsbGadget::unplug() {
    if (!bound_) return true;
    bound_ = false;
    return write("UDC", "\n");
}

std::string UsbGadget::waitForHostDevice(std::chrono::milliseconds limit) const {
    const auto deadline = Clock::now() + limit;
    const std::string wanted = "HID_UNIQ=" + serial_;
    do {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/sys/class/hidraw", ec)) {
            std::ifstream uevent(entry.path() / "device" / "uevent");
            for (std::string line; std::getline(uevent, line);) {
                if (line == wanted && fs::exists("/dev" / entry.path().filename())) {
                    return ("/dev" / entry.path().filename()).string();
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (Clock::now() < deadline);
    return {};
}

void UsbGadget::remove() {
    unplug();
    std::error_code ec;
    fs::remove(dir_ + "configs/c.1/hid.usb0", ec);
    for (const char* sub : {"configs/c.1", "functions/hid.usb0", "strings/0x409", ""}) {
        ::rmdir((dir_ + sub).c_str());
    }
}

} // namespace tarvane::test
