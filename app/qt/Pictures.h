#pragma once

#include <QIcon>
#include <QPixmap>

namespace tarvane {

// The window's bitmaps by resource id (res/resource.h), from the embedded
// copies of res/*.bmp; a null pixmap for an id we do not know.
QPixmap loadBitmap(int bitmapId);

// The emblem, for the window and the desktop.
QIcon appIcon();

} // namespace tarvane
