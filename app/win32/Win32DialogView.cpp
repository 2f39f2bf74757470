#include "app/win32/Win32DialogView.h"

#include "app/AccessibleNames.h"
#include "app/DialogTemplates.h"
#include "app/win32/FileDialog.h"
#include "app/win32/IconPaint.h"
#include "app/win32/NotesDialog.h"
#include "app/win32/SaveFileDialog.h"
#include "res/resource.h"
#include "win32/WideText.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>

namespace tarvane {

Win32DialogView::Win32DialogView(HINSTANCE instance)
    : instance_(instance),
      // Icons from LoadIconW are shared by the system: nothing to release.
      icon_(LoadIconW(instance, MAKEINTRESOURCEW(IDI_MAIN))), dialog_(*this) {}

Win32DialogView::~Win32DialogView() {
    if (HWND window = window_.load()) DestroyWindow(window);
}

void Win32DialogView::runModal() {
    modal_ = true;
    DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_MAIN), nullptr, dialogProc, reinterpret_cast<LPARAM>(this));
}

HWND Win32DialogView::createModeless() {
    modal_ = false;
    return CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_MAIN), nullptr, dialogProc,
                              reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Win32DialogView::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
    auto* view = reinterpret_cast<Win32DialogView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (view == nullptr) return FALSE;
    // Nothing may unwind through the system's frames; a handler that fails
    // ends where it stands, as the window's handlers always have.
    try {
        return view->handleMessage(window, message, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}

INT_PTR Win32DialogView::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        onInitDialog(window);
        return TRUE;
    case WM_PAINT:
        return onPaint(window) ? TRUE : FALSE;
    case WM_TIMER:
        dialog_.onTimer(static_cast<int>(wParam));
        return FALSE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(icon_);
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) onCommand(window, LOWORD(wParam));
        return TRUE;
    case WM_INITMENUPOPUP:
        if (HIWORD(lParam) != 0) enableSaveReportInSystemMenu(window, dialog_.canSaveReport());
        return FALSE;
    case WM_SYSCOMMAND:
        if (!onSysCommand(wParam)) return FALSE;
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_LINK_RESPONSE:
    case WM_LINK_TIMEOUT:
        onLinkMessage(lParam);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 1);
        return TRUE;
    case WM_DESTROY:
        onDestroy(window);
        return FALSE;
    default:
        return FALSE;
    }
}

void Win32DialogView::onInitDialog(HWND window) {
    window_.store(window);
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    SetWindowTextW(window, toWide(kWindowTitle).c_str());
    addSaveReportToSystemMenu(window);
    logMenu_.emplace(GetDlgItem(window, IDC_LOG), [this] { return dialog_.canSaveReport(); });
    accessibility_.emplace(window);
}

bool Win32DialogView::onPaint(HWND window) {
    if (!IsIconic(window)) return false;
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(window, &client);
    const IconOrigin origin = centredIconOrigin(client.right - client.left, client.bottom - client.top,
                                                GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    DrawIcon(dc, origin.x, origin.y, icon_);
    EndPaint(window, &paint);
    return true;
}

void Win32DialogView::onCommand(HWND window, int id) {
    switch (id) {
    case IDC_BROWSE:
        dialog_.onBrowse();
        break;
    case IDC_UPDATE:
        dialog_.onUpdate();
        break;
    case IDC_INTERFACE_BOARD:
        dialog_.onInterfaceBoard();
        break;
    case IDC_DISPLAY_BOARD:
        dialog_.onDisplayBoard();
        break;
    case IDC_NOTES:
        dialog_.onNotes();
        break;
    case kSaveReportCommand:
        dialog_.onSaveReport();
        break;
    case IDOK:
    case IDCANCEL:
        // Esc, the close box and Enter away from a push button end the window at once.
        if (modal_) {
            EndDialog(window, id);
        } else {
            DestroyWindow(window);
        }
        break;
    default:
        break;
    }
}

bool Win32DialogView::onSysCommand(WPARAM command) {
    // The system keeps the low four bits of a system command for itself.
    if ((command & 0xFFF0) != kSaveReportCommand) return false;
    dialog_.onSaveReport();
    return true;
}

void Win32DialogView::onLinkMessage(LPARAM lParam) {
    // The posted copy is ours again; it is freed when this handler returns.
    const std::unique_ptr<LinkMessage> message(reinterpret_cast<LinkMessage*>(lParam));
    if (message) dialog_.onLinkMessage(*message);
}

void Win32DialogView::onDestroy(HWND window) {
    KillTimer(window, TIMER_PROGRESS);
    // The log still exists here: its subclass comes off before it goes.
    logMenu_.reset();
    accessibility_.reset();
    // Once the worker has been joined nothing more is posted; what it posted
    // before is still queued and would be lost with the window, so free it.
    dialog_.onClose();
    window_.store(nullptr);
    MSG queued{};
    while (PeekMessageW(&queued, window, WM_LINK_RESPONSE, WM_LINK_TIMEOUT, PM_REMOVE)) {
        const std::unique_ptr<LinkMessage> unread(reinterpret_cast<LinkMessage*>(queued.lParam));
        ++drained_;
    }
}

HWND Win32DialogView::item(int id) const {
    HWND window = window_.load();
    return window != nullptr ? GetDlgItem(window, id) : nullptr;
}

bool Win32DialogView::hasControl(int id) const {
    return item(id) != nullptr;
}

void Win32DialogView::setControlText(int id, const std::string& text) {
    if (HWND control = item(id)) SetWindowTextW(control, toWide(text).c_str());
    if (id == IDC_FILE_NAME && accessibility_) accessibility_->rename(id, fileFieldName(text));
}

void Win32DialogView::enableControl(int id, bool enabled) {
    if (HWND control = item(id)) EnableWindow(control, enabled ? TRUE : FALSE);
}

void Win32DialogView::showControl(int id, bool visible) {
    if (HWND control = item(id)) ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
}

void Win32DialogView::setPicture(int controlId, int bitmapId) {
    pictures_.show(instance_, item(controlId), bitmapId);
    const AccessibleText shows = pictureText(bitmapId);
    if (accessibility_) accessibility_->rename(controlId, std::string(shows.name), std::string(shows.description));
}

void Win32DialogView::setLogText(const std::string& text) {
    HWND log = item(IDC_LOG);
    if (log == nullptr) return;
    const std::wstring wide = toWide(text);
    SetWindowTextW(log, wide.c_str());
    if (accessibility_) accessibility_->valueChanged(IDC_LOG);
    // The caret goes to the end of the last line, before its CR LF, and the
    // box scrolls so that line is in view.
    if (wide.size() < 2) return;
    const auto caret = static_cast<WPARAM>(wide.size() - 2);
    SendMessageW(log, EM_SETSEL, caret, static_cast<LPARAM>(caret));
    SendMessageW(log, EM_SCROLLCARET, 0, 0);
}

void Win32DialogView::setProgressRange(int maximum) {
    if (HWND bar = item(IDC_PROGRESS)) SendMessageW(bar, PBM_SETRANGE32, 0, std::max(maximum, 0));
}

void Win32DialogView::setProgressPosition(int position) {
    if (HWND bar = item(IDC_PROGRESS)) SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(std::max(position, 0)), 0);
}

void Win32DialogView::setProgressName(std::string_view name) {
    if (accessibility_) accessibility_->rename(IDC_PROGRESS, std::string(name));
}

void Win32DialogView::updateEnded(UpdateOutcome) {
    // The bar is named for the outcome by now.
    if (accessibility_) accessibility_->alert(IDC_PROGRESS);
}

void Win32DialogView::messageBox(const MessageBoxRequest& request) {
    if (messageBoxHook_) {
        messageBoxHook_(request);
        return;
    }
    std::string text = request.text;
    if (!request.detail.empty()) text += "\n\n" + request.detail;
    const std::wstring body = toWide(text);
    const std::wstring caption = toWide(request.caption);
    // No caption: the system's own ("Error").
    MessageBoxW(request.ownedByWindow ? window_.load() : nullptr, body.c_str(),
                caption.empty() ? nullptr : caption.c_str(),
                MB_OK | (request.icon == MessageIcon::Error ? MB_ICONERROR : 0u));
}

std::optional<std::string> Win32DialogView::openFileDialog(const std::string& filter,
                                                           const std::string& initialDirectory) {
    if (fileDialogHook_) return fileDialogHook_(filter, initialDirectory);
    return runOpenFileDialog(window_.load(), filter, initialDirectory);
}

void Win32DialogView::showNotes() {
    if (notesHook_) {
        notesHook_();
        return;
    }
    runNotesDialog(instance_, window_.load());
}

std::optional<std::string> Win32DialogView::saveFileDialog(const std::string& suggestedName) {
    if (saveDialogHook_) return saveDialogHook_(suggestedName);
    return runSaveFileDialog(window_.load(), suggestedName);
}

void Win32DialogView::startTimer(int id, int periodMs) {
    if (HWND window = window_.load()) SetTimer(window, static_cast<UINT_PTR>(id), static_cast<UINT>(periodMs), nullptr);
}

void Win32DialogView::killTimer(int id) {
    if (HWND window = window_.load()) KillTimer(window, static_cast<UINT_PTR>(id));
}

void Win32DialogView::pause(int ms) {
    // Sleeps on the UI thread, so no click, tick or link message is handled
    // before the sequence's next step.
    Sleep(static_cast<DWORD>(std::max(ms, 0)));
}

void Win32DialogView::postLinkMessage(LinkMessage message) {
    HWND window = window_.load();
    if (window == nullptr) return;
    const UINT id = message.kind == LinkMessage::Kind::Response ? WM_LINK_RESPONSE : WM_LINK_TIMEOUT;
    const WPARAM command = message.command;
    auto copy = std::make_unique<LinkMessage>(std::move(message));
    // The queue holds the copy until the handler takes it back; if it cannot
    // be queued, it is freed here.
    if (PostMessageW(window, id, command, reinterpret_cast<LPARAM>(copy.get()))) copy.release();
}

} // namespace tarvane
