#include "app/DialogTemplates.h"

#include "res/resource.h"

#include <array>

namespace tarvane {
namespace {

using K = ControlKind;

constexpr std::array kMainControls{
    ControlTemplate{IDC_BROWSE, K::PushButton, "&Browse", false, true, 248, 163, 33, 12, 0, true, false},
    ControlTemplate{IDC_FILE_NAME, K::SunkenText, "<No file loaded>", false, true, 5, 163, 240, 12, 0, false, true},
    ControlTemplate{IDC_PROGRESS, K::ProgressBar, "", true, false, 5, 236, 240, 7},
    ControlTemplate{IDC_LOG, K::Log, "", false, true, 5, 185, 240, 50, 0, true, false},
    ControlTemplate{IDC_STEP2, K::Text, "STEP 2) Select the board to update:", true, true, 5, 34, 114, 11, 0, false, true},
    ControlTemplate{IDC_STEP6, K::Text,
                    "STEP 6) Click Update. Follow the instructions in the log box after the update completes.", false,
                    true, 5, 143, 276, 16, 0, false, true},
    ControlTemplate{IDC_STEP4, K::Text, "STEP 4) Slide switch S4 to OFF and then to ON...", false, true, 5, 73, 276, 20,
                    0, false, true},
    ControlTemplate{IDC_STEP3, K::Text, "STEP 3) Remove the Firmware Access cover...", false, true, 5, 49, 276, 20, 0,
                    false, true},
    ControlTemplate{IDC_INTERFACE_BOARD, K::RadioButton, "Interface Board", true, true, 142, 34, 59, 10},
    ControlTemplate{IDC_DISPLAY_BOARD, K::RadioButton, "Display Board", true, true, 224, 34, 56, 10},
    ControlTemplate{IDC_UPDATE, K::PushButton, "&Update", false, true, 248, 185, 33, 28, 0, true, false},
    ControlTemplate{IDC_BOARD_PICTURE, K::Picture, "", true, true, 291, 131, 144, 112, IDB_BOARD, false, false},
    ControlTemplate{IDC_DEVICE_PICTURE, K::Picture, "", true, true, 291, 2, 144, 113, IDB_DEVICE, false, false},
    ControlTemplate{IDC_NOTES, K::PushButton, "Click here", true, true, 169, 97, 36, 9, 0, true, false},
    ControlTemplate{IDC_FIRST_TIME, K::Text, "*For first time update:", true, true, 95, 97, 70, 9, 0, false, true},
    ControlTemplate{IDC_STEP5, K::Text, "STEP 5) Click Browse...", false, true, 5, 110, 276, 29, 0, false, true},
    ControlTemplate{IDC_STEP1, K::Text,
                    "STEP 1) Power up the Tarvane and make a note of the versions shown on the Self-Test screen. "
                    "\"TXR FW\" is the version for the Interface board. \"GUI FW\" is the version for the Display "
                    "board. Power off the Tarvane when done.",
                    true, true, 5, 2, 276, 28, 0, false, true},
};

constexpr std::array kNotesControls{
    ControlTemplate{IDC_NOTES_WAIT_TEXT, K::Text,
                    "Wait for the driver to install and proceed to STEP 5 after you see this message:", true, true, 7,
                    89, 290, 16, 0, false, true},
    ControlTemplate{IDC_NOTES_FIRST_TEXT, K::Text,
                    "When you perform STEP 4 for the first time, you may see the following Windows message:", true,
                    true, 7, 7, 290, 16, 0, false, true},
    ControlTemplate{IDC_NOTES_SETUP_PICTURE, K::Picture, "", true, true, 89, 31, 133, 50, IDB_NOTE_SETUP, false, false},
    ControlTemplate{IDC_NOTES_READY_PICTURE, K::Picture, "", true, true, 89, 113, 133, 50, IDB_NOTE_READY, false, false},
};

constexpr DialogTemplate kMain{IDD_MAIN, kWindowTitle, 438, 247, "Segoe UI", 12, kMainControls};
constexpr DialogTemplate kNotes{IDD_NOTES, "Notes", 313, 176, "Segoe UI", 12, kNotesControls};

} // namespace

const DialogTemplate& mainDialogTemplate() { return kMain; }
const DialogTemplate& notesDialogTemplate() { return kNotes; }

} // namespace tarvane
