#include "app/win32/DialogScale.h"

#include <utility>

namespace tarvane {
namespace {

// The dialog manager's own measure of a font: the average width of the
// Latin letters and the line height.
void fontUnits(HWND window, HFONT font, int& unitX, int& unitY) {
    HDC dc = GetDC(window);
    if (dc == nullptr) return;
    HGDIOBJ before = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    SIZE letters{};
    static constexpr wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    if (GetTextMetricsW(dc, &metrics) && GetTextExtentPoint32W(dc, kLetters, 52, &letters)) {
        unitX = (letters.cx / 26 + 1) / 2;
        unitY = metrics.tmHeight;
    }
    SelectObject(dc, before);
    ReleaseDC(window, dc);
}

// Windows 10 1703 and later would rescale the dialog on a change of scale as
// well; the dialog does it itself, on every version alike.
void takeOverScaleChanges(HWND dialog) {
    using Fn = BOOL(WINAPI*)(HWND, int, int);
    constexpr int kDisableAll = 1;
    const auto set = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetDialogDpiChangeBehavior")));
    if (set != nullptr) set(dialog, kDisableAll, kDisableAll);
}

} // namespace

void DialogScale::attach(HINSTANCE instance, HWND dialog, const DialogTemplate& layout) {
    instance_ = instance;
    dialog_ = dialog;
    layout_ = &layout;
    font_.reset();
    RECT units{0, 0, 4, 8};
    MapDialogRect(dialog, &units);
    unitX_ = units.right;
    unitY_ = units.bottom;
    takeOverScaleChanges(dialog);
    for (const ControlTemplate& c : layout.controls) {
        if (c.kind == ControlKind::Picture) pictures_.show(instance_, GetDlgItem(dialog_, c.id), c.bitmapId, frame(c));
    }
}

void DialogScale::setPicture(int controlId, int bitmapId) {
    if (dialog_ == nullptr || !IsWindow(dialog_)) return;
    if (const ControlTemplate* c = control(controlId))
        pictures_.show(instance_, GetDlgItem(dialog_, controlId), bitmapId, frame(*c));
}

void DialogScale::onDpiChanged(int dpi, const RECT& suggested) {
    if (dialog_ == nullptr || dpi <= 0) return;
    LOGFONTW face{};
    auto* current = reinterpret_cast<HFONT>(SendMessageW(dialog_, WM_GETFONT, 0, 0));
    if (current == nullptr || GetObjectW(current, sizeof face, &face) == 0) return;
    face.lfHeight = -MulDiv(layout_->pointSize, dpi, 72);
    face.lfWidth = 0;
    UniqueFont font(CreateFontIndirectW(&face));
    if (!font) return;
    fontUnits(dialog_, font.get(), unitX_, unitY_);

    SendMessageW(dialog_, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    for (const ControlTemplate& c : layout_->controls) {
        HWND item = GetDlgItem(dialog_, c.id);
        if (item == nullptr) continue;
        SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        const RECT place = frame(c);
        SetWindowPos(item, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The controls draw with the new font from here on: the old one can go.
    font_ = std::move(font);
    SetWindowPos(dialog_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    for (const ControlTemplate& c : layout_->controls) {
        HWND item = GetDlgItem(dialog_, c.id);
        if (c.kind != ControlKind::Picture || item == nullptr) continue;
        const int shown = pictures_.shownId(item);
        if (shown != 0) pictures_.show(instance_, item, shown, frame(c));
    }
    RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

RECT DialogScale::frame(const ControlTemplate& c) const {
    // Each edge on its own, as MapDialogRect converts them.
    return {MulDiv(c.x, unitX_, 4), MulDiv(c.y, unitY_, 8), MulDiv(c.x + c.width, unitX_, 4),
            MulDiv(c.y + c.height, unitY_, 8)};
}

const ControlTemplate* DialogScale::control(int id) const {
    if (layout_ == nullptr) return nullptr;
    for (const ControlTemplate& c : layout_->controls) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

} // namespace tarvane
