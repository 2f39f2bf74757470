#include "app/win32/Pictures.h"

namespace tarvane {

Pictures::~Pictures() {
    for (const auto& [control, bitmap] : shown_) DeleteObject(bitmap);
}

void Pictures::show(HINSTANCE instance, HWND control, int bitmapId) {
    if (control == nullptr) return;
    auto* bitmap = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    auto* previous = reinterpret_cast<HBITMAP>(
        SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));

    HBITMAP& slot = shown_[control];
    // The control no longer draws what it returned: ours from an earlier
    // call, or the one it loaded from the template itself.
    if (previous != nullptr && previous != bitmap && previous != slot) DeleteObject(previous);
    if (slot != nullptr && slot != bitmap) DeleteObject(slot);
    slot = bitmap;
    if (slot == nullptr) shown_.erase(control);
}

} // namespace tarvane
