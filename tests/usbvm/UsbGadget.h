#pragma once

#include <chrono>
#include <string>

namespace tarvane::test {

// A bootloader-shaped USB device made by the kernel's gadget framework
// (configfs): vendor 0x04D8, product 0x003C, one HID function with 64-byte
// reports and no report IDs. Bound to a dummy host controller's device side,
// it enumerates on the same machine through usbhid as a real board would.
// The gadget is removed again when the object goes.
class UsbGadget {
public:
    // `name` is the configfs directory; `serial` tells the boards apart;
    // `controller` is the device side to bind to (dummy_udc.0, dummy_udc.1, ...).
    UsbGadget(std::string name, std::string serial, std::string controller);
    ~UsbGadget();
    UsbGadget(const UsbGadget&) = delete;
    UsbGadget& operator=(const UsbGadget&) = delete;

    // Made in configfs; otherwise error() says what failed.
    bool created() const { return created_; }
    const std::string& error() const { return error_; }

    // Plugs the board in (binds it to its controller) and waits until its
    // /dev/hidgN exists. Unplugging unbinds it.
    bool plugIn();
    bool unplug();

    // The board side: the gadget's HID function device, /dev/hidgN.
    const std::string& boardDevice() const { return boardDevice_; }
    // The host side: the /dev/hidrawN the kernel made for it, once enumerated.
    std::string waitForHostDevice(std::chrono::milliseconds limit) const;
    const std::string& serial() const { return serial_; }

private:
    bool write(const std::string& relative, const std::string& bytes);
    void remove();

    std::string dir_;
    std::string serial_;
    std::string controller_;
    std::string boardDevice_;
    std::string error_;
    bool created_ = false;
    bool bound_ = false;
};

} // namespace tarvane::test
