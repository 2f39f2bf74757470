#include "app/win32/TarvaneBootloaderApp.h"

#include "app/win32/Win32DialogView.h"
#include "res/version.h"
#include "startup/StartUp.h"
#include "startup/SystemName.h"
#include "trace/TraceFormat.h"
#include "trace/TracingPort.h"
#include "usb/PortFactory.h"
#include "win32/WideText.h"

#include <commctrl.h>
#include <objbase.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace tarvane {
namespace {

// COM on the UI thread, for the Vista-style file dialog.
class ComApartment {
public:
    ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComApartment() {
        if (ok_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool ok_;
};

// The program file's name without its extension: the caption of its message boxes.
std::string programName() {
    std::array<wchar_t, 32768> path{};
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return "tarvane-updater";
    return toUtf8(std::filesystem::path(std::wstring(path.data(), n)).stem().wstring());
}

// An environment variable as UTF-8; empty when unset.
std::string environmentVariable(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value != nullptr ? toUtf8(value) : std::string();
}

} // namespace

int TarvaneBootloaderApp::initInstance() {
    // Restarted by the restart manager when an installer or a system update
    // closes it; never after a crash, and no recovery callback.
    RegisterApplicationRestart(nullptr, RESTART_NO_CRASH);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
    const ComApartment com;

    const auto view = std::make_unique<Win32DialogView>(instance_);
    const std::string name = programName();
    view->dialog().setProgramName(name);
    view->dialog().setSystemName(systemDescription());
    startUpFrontEnd();
    DeviceChoice device = chooseDevice(environmentVariable(L"TARVANE_DEVICE"));
    const std::vector<std::string> args = utf8CommandLine();
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    const TraceHeader header{name + " " TARVANE_VERSION, commandLineText(static_cast<int>(argv.size()), argv.data()),
                             environmentVariable(L"TARVANE_DEVICE")};
    std::string traceMessage;
    device.opener = tracedOpenerFromEnvironment(std::move(device.opener), environmentVariable(L"TARVANE_TRACE"),
                                                header, traceMessage);
    view->dialog().useDevice(std::move(device.address), std::move(device.opener));
    const std::wstring caption = toWide(name);
    if (!device.error.empty()) {
        const std::wstring text = toWide(device.error + "\nNo device will be used.");
        MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
    }
    if (!traceMessage.empty()) {
        MessageBoxW(nullptr, toWide(traceMessage).c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
    }
    view->runModal();
    return 0;
}

} // namespace tarvane
