#include "app/win32/Pictures.h"

#include <utility>

namespace tarvane {

void Pictures::show(HINSTANCE instance, HWND control, int bitmapId) {
    if (control == nullptr) return;
    UniqueBitmap bitmap(
        static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
    auto* previous = reinterpret_cast<HBITMAP>(
        SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.get())));

    UniqueBitmap& slot = shown_[control];
    // The control no longer draws what it returned: the one it loaded from
    // the template itself is released here, ours from an earlier call as the
    // slot takes the new one.
    const UniqueBitmap fromTemplate(previous != slot.get() ? previous : nullptr);
    slot = std::move(bitmap);
    if (!slot) shown_.erase(control);
}

} // namespace tarvane
