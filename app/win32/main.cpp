#include "app/win32/TarvaneBootloaderApp.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    tarvane::TarvaneBootloaderApp app(instance);
    return app.initInstance();
}
