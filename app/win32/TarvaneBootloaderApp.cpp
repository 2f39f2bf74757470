#include "app/win32/TarvaneBootloaderApp.h"

#include "app/win32/Win32DialogView.h"
#include "startup/StartUp.h"
#include "win32/WideText.h"

#include <commctrl.h>
#include <objbase.h>

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

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

    const std::string name = programName();
    const std::vector<std::string> args = utf8CommandLine();
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    StartUp start = startUp(FrontEnd::Window, name, static_cast<int>(argv.size()), argv.data());

    const auto view = std::make_unique<Win32DialogView>(instance_);
    view->dialog().setProgramName(name);
    view->dialog().setSystemName(start.system);
    view->dialog().useDevice(std::move(start.device), std::move(start.opener));
    const std::wstring caption = toWide(name);
    for (const std::string& warning : start.warnings) {
        MessageBoxW(nullptr, toWide(warning).c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
    }
    view->runModal();
    return 0;
}

} // namespace tarvane
