#include "app/win32/NotesDialog.h"

#include "res/resource.h"

namespace tarvane {
namespace {

INT_PTR CALLBACK notesProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* scale = reinterpret_cast<DialogScale*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
        reinterpret_cast<DialogScale*>(lParam)->attach(
            reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)), window, notesDialogTemplate());
        return TRUE;
    case WM_DPICHANGED:
        if (scale == nullptr) break;
        scale->onDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(window, LOWORD(wParam));
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace

void runNotesDialog(HINSTANCE instance, HWND owner) {
    DialogScale scale;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_NOTES), owner, notesProc, reinterpret_cast<LPARAM>(&scale));
}

HWND createNotesDialog(HINSTANCE instance, HWND owner, DialogScale& scale) {
    return CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_NOTES), owner, notesProc,
                              reinterpret_cast<LPARAM>(&scale));
}

} // namespace tarvane
