#include "app/win32/Pictures.h"

#include "app/win32/PictureFit.h"
#include "app/win32/PictureLoad.h"

#include <utility>

namespace tarvane {

void Pictures::show(HINSTANCE instance, HWND control, int bitmapId, const RECT& frame) {
    if (control == nullptr) return;
    const PicturePlacement place =
        placePicture(pictureBaseSize(instance, bitmapId), {frame.right - frame.left, frame.bottom - frame.top});
    UniqueBitmap bitmap = loadPicture(instance, bitmapId, place.percent, place.size);
    auto* previous = reinterpret_cast<HBITMAP>(
        SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.get())));
    // The control sizes itself to its bitmap; it goes where the fit puts it.
    if (bitmap) {
        SetWindowPos(control, nullptr, frame.left + place.x, frame.top + place.y, place.size.width,
                     place.size.height, SWP_NOZORDER | SWP_NOACTIVATE);
    }

    Shown& slot = shown_[control];
    // The control no longer draws what it returned: the one it loaded from
    // the template itself is released here, ours from an earlier call as the
    // slot takes the new one.
    const UniqueBitmap fromTemplate(previous != slot.bitmap.get() ? previous : nullptr);
    slot.bitmap = std::move(bitmap);
    slot.bitmapId = bitmapId;
    if (!slot.bitmap) shown_.erase(control);
}

int Pictures::shownId(HWND control) const {
    const auto found = shown_.find(control);
    return found != shown_.end() ? found->second.bitmapId : 0;
}

} // namespace tarvane
