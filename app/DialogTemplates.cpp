#include "app/DialogTemplates.h"

// Made at build time from res/dialogs.layout (res/CMakeLists.txt).
#include "app/DialogLayout.h"

namespace tarvane {
namespace {

constexpr std::string_view initialText(const DialogTemplate& dialog, int id) {
    for (const ControlTemplate& control : dialog.controls) {
        if (control.id == id) return control.text;
    }
    return {};
}

} // namespace

const DialogTemplate& mainDialogTemplate() { return layout::kMain; }
const DialogTemplate& notesDialogTemplate() { return layout::kNotes; }

constinit const std::string_view kWindowTitle = layout::kMain.caption;
constinit const std::string_view kNoFileLoaded = initialText(layout::kMain, IDC_FILE_NAME);

} // namespace tarvane
