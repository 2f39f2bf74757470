#include "app/win32/SupportReportMenu.h"

#include "win32/Win32Handles.h"

#include <commctrl.h>
#include <windowsx.h>

#include <utility>

namespace tarvane {
namespace {

// Returned by the popup only, never sent to a window.
constexpr UINT kCopyCommand = 1;
constexpr UINT kSelectAllCommand = 2;

constexpr UINT_PTR kSubclassId = 1;

UINT enabledFlag(bool enabled) {
    return enabled ? MF_ENABLED : MF_GRAYED;
}

} // namespace

void addSaveReportToSystemMenu(HWND window) {
    // The window's own copy of the system menu, destroyed with the window.
    HMENU menu = GetSystemMenu(window, FALSE);
    if (menu == nullptr) return;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING | MF_GRAYED, kSaveReportCommand, kSaveReportText);
}

void enableSaveReportInSystemMenu(HWND window, bool enabled) {
    HMENU menu = GetSystemMenu(window, FALSE);
    if (menu != nullptr) EnableMenuItem(menu, kSaveReportCommand, MF_BYCOMMAND | enabledFlag(enabled));
}

LogContextMenu::LogContextMenu(HWND log, std::function<bool()> canSaveReport)
    : log_(log), canSaveReport_(std::move(canSaveReport)) {
    installed_ = log_ != nullptr &&
                 SetWindowSubclass(log_, subclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)) != FALSE;
}

LogContextMenu::~LogContextMenu() {
    if (installed_) RemoveWindowSubclass(log_, subclassProc, kSubclassId);
}

LRESULT CALLBACK LogContextMenu::subclassProc(HWND log, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                              DWORD_PTR self) {
    if (message != WM_CONTEXTMENU) return DefSubclassProc(log, message, wParam, lParam);
    // Nothing may unwind through the system's frames.
    try {
        reinterpret_cast<const LogContextMenu*>(self)->show(lParam);
    } catch (...) {
    }
    return 0;
}

void LogContextMenu::show(LPARAM where) const {
    const UniqueMenu menu(CreatePopupMenu());
    if (!menu) return;
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(log_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    AppendMenuW(menu.get(), MF_STRING | enabledFlag(start != end), kCopyCommand, L"&Copy");
    AppendMenuW(menu.get(), MF_STRING | enabledFlag(GetWindowTextLengthW(log_) > 0), kSelectAllCommand,
                L"Select &All");
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.get(), MF_STRING | enabledFlag(canSaveReport_ && canSaveReport_()), kSaveReportCommand,
                kSaveReportText);

    // From the keyboard (Shift+F10, the menu key) the point is (-1, -1): open
    // at the log's corner instead.
    POINT point{GET_X_LPARAM(where), GET_Y_LPARAM(where)};
    if (point.x == -1 && point.y == -1) {
        point = {0, 0};
        ClientToScreen(log_, &point);
    }
    HWND owner = GetParent(log_);
    const auto chosen = static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                                         point.x, point.y, 0, owner != nullptr ? owner : log_,
                                                         nullptr));
    switch (chosen) {
    case kCopyCommand:
        SendMessageW(log_, WM_COPY, 0, 0);
        break;
    case kSelectAllCommand:
        SendMessageW(log_, EM_SETSEL, 0, -1);
        break;
    case kSaveReportCommand:
        if (owner != nullptr) SendMessageW(owner, WM_COMMAND, MAKEWPARAM(kSaveReportCommand, 0), 0);
        break;
    default:
        break;
    }
}

} // namespace tarvane
