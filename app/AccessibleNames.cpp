#include "app/AccessibleNames.h"

#include "app/DialogTemplates.h"
#include "res/resource.h"

#include <array>

namespace tarvane {

AccessibleText accessibleText(int controlId) {
    switch (controlId) {
    case IDC_LOG:
        return {"Log", "What the update does, line by line"};
    case IDC_FILE_NAME:
        return {"No file loaded", "The HEX file to send to the board"};
    case IDC_PROGRESS:
        return {"Progress", ""};
    case IDC_NOTES:
        return {"", "For first time update: the Windows messages STEP 4 may bring"};
    default:
        return {};
    }
}

AccessibleText pictureText(int bitmapId) {
    switch (bitmapId) {
    case IDB_DEVICE:
        return {"Tarvane front panel",
                "The instrument's front panel in its case; the Firmware Access cover is at lower left"};
    case IDB_DEVICE_ACCESS:
        return {"Tarvane front panel, Firmware Access cover marked",
                "The instrument's front panel, a red arrow pointing at the Firmware Access cover at lower left"};
    case IDB_BOARD:
        return {"Programming board", "The programming board seen from above: switches S1 to S4, ports J8 and J3"};
    case IDB_BOARD_INTERFACE:
        return {"Programming board, Interface Switch S1 and Interface Port J8 marked",
                "The programming board seen from above, Interface Switch S1 and Interface Port J8 framed in red"};
    case IDB_BOARD_DISPLAY:
        return {"Programming board, Display Switch S2 and Display Port J3 marked",
                "The programming board seen from above, Display Switch S2 and Display Port J3 framed in red"};
    case IDB_NOTE_SETUP:
        return {"Windows message: setting up the device",
                "The notification above the taskbar while Windows sets up the USB HID bootloader device"};
    case IDB_NOTE_READY:
        return {"Windows message: device ready",
                "The notification that the USB HID bootloader device is set up and ready"};
    default:
        return {};
    }
}

std::string fileFieldName(std::string_view shownText) {
    if (shownText.empty() || shownText == kNoFileLoaded) return std::string(accessibleText(IDC_FILE_NAME).name);
    return std::string(shownText);
}

std::string_view progressName(UpdatePhase phase) {
    switch (phase) {
    case UpdatePhase::Connecting:
        return "Connecting";
    case UpdatePhase::Erasing:
        return "Erasing flash";
    case UpdatePhase::Programming:
        return "Programming flash";
    case UpdatePhase::Verifying:
        return "Verifying";
    case UpdatePhase::Starting:
        return "Starting the new firmware";
    case UpdatePhase::Idle:
        break;
    }
    return accessibleText(IDC_PROGRESS).name;
}

std::string_view outcomeName(UpdateOutcome outcome) {
    switch (outcome) {
    case UpdateOutcome::Updated:
        return "Update complete";
    case UpdateOutcome::Verified:
        return "Verification successful";
    // The window never skips a current board; the terminal alone does.
    case UpdateOutcome::Current:
        return "Update complete";
    case UpdateOutcome::Interrupted:
        return "Update interrupted";
    case UpdateOutcome::VerificationFailed:
    case UpdateOutcome::NoResponse:
    case UpdateOutcome::Stalled:
    case UpdateOutcome::FileNotLoaded:
    case UpdateOutcome::DeviceNotFound:
        break;
    }
    return "Update failed";
}

std::span<const int> readingOrder() {
    // The pictures follow the steps that name what they show.
    static constexpr std::array kOrder{
        IDC_STEP1,         IDC_STEP2,         IDC_INTERFACE_BOARD, IDC_DISPLAY_BOARD, IDC_STEP3,
        IDC_STEP4,         IDC_DEVICE_PICTURE, IDC_BOARD_PICTURE,  IDC_FIRST_TIME,    IDC_NOTES,
        IDC_STEP5,         IDC_STEP6,         IDC_FILE_NAME,       IDC_BROWSE,        IDC_LOG,
        IDC_UPDATE,        IDC_PROGRESS};
    return kOrder;
}

std::span<const BoardKey> boardKeys() {
    static constexpr std::array kKeys{BoardKey{IDC_INTERFACE_BOARD, 'I'}, BoardKey{IDC_DISPLAY_BOARD, 'D'}};
    return kKeys;
}

std::span<const LabelFor> labelsFor() {
    static constexpr std::array kLabels{
        LabelFor{IDC_STEP2, IDC_INTERFACE_BOARD},
        LabelFor{IDC_FIRST_TIME, IDC_NOTES},
        LabelFor{IDC_STEP5, IDC_BROWSE},
        LabelFor{IDC_STEP6, IDC_UPDATE},
    };
    return kLabels;
}

} // namespace tarvane
