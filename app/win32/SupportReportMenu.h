#pragma once

#include <windows.h>

#include <functional>

namespace tarvane {

// "Save support report…" has one id in both menus. The system menu takes
// only multiples of 16 below 0xF000, and res/resource.h holds 2, 100–199 and
// 1000–1099, so 0x0F10 is free in the dialog's WM_COMMAND and WM_SYSCOMMAND.
inline constexpr UINT kSaveReportCommand = 0x0F10;
inline constexpr const wchar_t* kSaveReportText = L"Save support report\u2026";

// The item, after a separator, at the end of the window's system menu; greyed
// until enableSaveReportInSystemMenu says otherwise.
void addSaveReportToSystemMenu(HWND window);
void enableSaveReportInSystemMenu(HWND window, bool enabled);

// The log's right-click menu while this object lives: Copy, Select All and
// the report item, which reaches the log's parent as WM_COMMAND with
// kSaveReportCommand, as a choice from any menu does.
class LogContextMenu {
public:
    LogContextMenu(HWND log, std::function<bool()> canSaveReport);
    ~LogContextMenu();
    LogContextMenu(const LogContextMenu&) = delete;
    LogContextMenu& operator=(const LogContextMenu&) = delete;

private:
    static LRESULT CALLBACK subclassProc(HWND log, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    void show(LPARAM where) const;

    HWND log_;
    bool installed_ = false;
    std::function<bool()> canSaveReport_;
};

} // namespace tarvane
