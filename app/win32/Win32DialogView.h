#pragma once

#include "app/DialogMain.h"
#include "app/DialogView.h"
#include "app/win32/Pictures.h"
#include "app/win32/SupportReportMenu.h"
#include "app/win32/WindowAccessibility.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace tarvane {

// The messages that carry a worker's result to the window's thread; each
// holds a LinkMessage that the window takes back and frees.
inline constexpr UINT WM_LINK_RESPONSE = WM_USER + 1;
inline constexpr UINT WM_LINK_TIMEOUT = WM_USER + 2;

// The updater window on Win32: the IDD_MAIN dialog from the resources, its
// messages and clicks handed to DialogMain, and DialogMain's requests carried
// out on the dialog's window. Only postLinkMessage runs off the UI thread.
class Win32DialogView final : public DialogView {
public:
    // Stand-ins for the modal parts (file dialog, message box, Notes), so a
    // test can drive the window without anyone to click.
    using FileDialogHook = std::function<std::optional<std::string>(const std::string& filter,
                                                                    const std::string& directory)>;
    using MessageBoxHook = std::function<void(const MessageBoxRequest&)>;
    using NotesHook = std::function<void()>;
    using SaveDialogHook = std::function<std::optional<std::string>(const std::string& suggestedName)>;

    explicit Win32DialogView(HINSTANCE instance);
    ~Win32DialogView() override;
    Win32DialogView(const Win32DialogView&) = delete;
    Win32DialogView& operator=(const Win32DialogView&) = delete;

    DialogMain& dialog() { return dialog_; }
    HWND window() const { return window_.load(); }
    HICON icon() const { return icon_; }

    // Runs the window modally and returns once it has closed.
    void runModal();
    // Creates the window without a loop of its own, for tests; DestroyWindow ends it.
    HWND createModeless();

    void setFileDialogHook(FileDialogHook hook) { fileDialogHook_ = std::move(hook); }
    void setMessageBoxHook(MessageBoxHook hook) { messageBoxHook_ = std::move(hook); }
    void setNotesHook(NotesHook hook) { notesHook_ = std::move(hook); }
    void setSaveDialogHook(SaveDialogHook hook) { saveDialogHook_ = std::move(hook); }

    // Link messages freed unread because the window went first.
    std::size_t drainedMessages() const { return drained_; }

    bool hasControl(int id) const override;
    void setControlText(int id, const std::string& text) override;
    void enableControl(int id, bool enabled) override;
    void showControl(int id, bool visible) override;
    void setPicture(int controlId, int bitmapId) override;
    void setLogText(const std::string& text) override;
    void setProgressRange(int maximum) override;
    void setProgressPosition(int position) override;
    void setProgressName(std::string_view name) override;
    void updateEnded(UpdateOutcome outcome) override;
    void messageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> openFileDialog(const std::string& filter, const std::string& initialDirectory) override;
    void showNotes() override;
    std::optional<std::string> saveFileDialog(const std::string& suggestedName) override;
    void startTimer(int id, int periodMs) override;
    void killTimer(int id) override;
    void pause(int ms) override;
    void postLinkMessage(LinkMessage message) override;

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void onInitDialog(HWND window);
    bool onPaint(HWND window);
    void onCommand(HWND window, int id);
    bool onSysCommand(WPARAM command);
    void onLinkMessage(LPARAM lParam);
    void onDestroy(HWND window);
    HWND item(int id) const;

    HINSTANCE instance_;
    HICON icon_;
    bool modal_ = false;
    std::atomic<HWND> window_{nullptr};
    std::size_t drained_ = 0;
    Pictures pictures_;
    FileDialogHook fileDialogHook_;
    MessageBoxHook messageBoxHook_;
    NotesHook notesHook_;
    SaveDialogHook saveDialogHook_;
    // While the window lives: the log's right-click menu.
    std::optional<LogContextMenu> logMenu_;
    // While the window lives: what screen readers are told.
    std::optional<WindowAccessibility> accessibility_;
    // Last, so it goes first: its link's worker stops before the rest goes.
    DialogMain dialog_;
};

} // namespace tarvane
