#include "app/qt/Pictures.h"

#include "res/resource.h"

#include <QString>

// The resources live in a static library, where nothing would pull them in.
static void initEmbeddedResources() {
    Q_INIT_RESOURCE(tarvane);
}

namespace tarvane {
namespace {

QString resourcePath(const char* name) {
    static const bool loaded = (initEmbeddedResources(), true);
    static_cast<void>(loaded);
    return QStringLiteral(":/tarvane/") + QLatin1String(name);
}

const char* bitmapFile(int bitmapId) {
    switch (bitmapId) {
    case IDB_BOARD:
        return "board.bmp";
    case IDB_BOARD_INTERFACE:
        return "board_interface.bmp";
    case IDB_BOARD_DISPLAY:
        return "board_display.bmp";
    case IDB_DEVICE:
        return "device.bmp";
    case IDB_DEVICE_ACCESS:
        return "device_access.bmp";
    case IDB_NOTE_SETUP:
        return "note_setup.bmp";
    case IDB_NOTE_READY:
        return "note_ready.bmp";
    default:
        return nullptr;
    }
}

} // namespace

QPixmap loadBitmap(int bitmapId) {
    const char* file = bitmapFile(bitmapId);
    return file ? QPixmap(resourcePath(file), "BMP") : QPixmap();
}

QIcon appIcon() {
    return QIcon(resourcePath("tarvane.png"));
}

} // namespace tarvane
