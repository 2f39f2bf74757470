#pragma once

class QDialog;
class QKeyEvent;

namespace tarvane {

// Enter as the dialog system treats it without a default button: on a push
// button it clicks that button, anywhere else it closes the dialog (OK).
// True when the key was Enter and has been handled.
bool handleDialogKey(QDialog& dialog, QKeyEvent& event);

} // namespace tarvane
