#include "front/BoardTexts.h"

#include "res/resource.h"

namespace tarvane {
namespace {

// "micro–B" is written with an en dash, as on the instrument's labels.
constexpr BoardTexts kInterface{
    "Interface board selected",
    "STEP 3) Remove the Firmware Access cover. Install the micro\u2013B USB end of the cable into Interface Port J8 "
    "and the USB A end into the PC.",
    "STEP 4) Slide switch S4 to OFF and then to ON. Press and hold Interface Switch S1. Connect the battery charger "
    "to USB-C CHARGER and immediately release S1.",
    "STEP 5) Click Browse. Choose the file based on the TXR FW version from STEP 1. If the version starts with "
    "1.xxx, use the 0512 version of the firmware file. If it starts with 2.xxx, use the 1024 version. If it starts "
    "with 3.xxx, use the 2048 version.",
    IDB_BOARD_INTERFACE,
    "Interface HEX Files (*.hex)|*Interface_Board*.hex|",
    "Interface board",
};

constexpr BoardTexts kDisplay{
    "Display board selected",
    "STEP 3) Remove the Firmware Access cover. Install the micro\u2013B USB end of the cable into Display Port J3 and "
    "the USB A end into the PC.",
    "STEP 4) Slide switch S4 to OFF and then to ON. Press and hold Display Switch S2. Connect the battery charger to "
    "USB-C CHARGER and immediately release S2.",
    "STEP 5) Click Browse. Choose the file based on GUI FW version from STEP 1. If the version starts with 1.xxx, "
    "use the 1025 version of the firmware file. If it starts with 2.xxx, use the 2064 version.",
    IDB_BOARD_DISPLAY,
    "Display HEX Files (*.hex)|*Display_Board*.hex|",
    "Display board",
};

} // namespace

const BoardTexts* boardTexts(BoardKind board) {
    switch (board) {
    case BoardKind::Interface:
        return &kInterface;
    case BoardKind::Display:
        return &kDisplay;
    case BoardKind::None:
        break;
    }
    return nullptr;
}

} // namespace tarvane
