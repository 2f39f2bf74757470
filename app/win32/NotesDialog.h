#pragma once

#include <windows.h>

namespace tarvane {

// The Notes dialog from its template, modal to `owner`; it closes with its
// close box, Esc or Enter.
void runNotesDialog(HINSTANCE instance, HWND owner);

} // namespace tarvane
