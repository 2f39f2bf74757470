#pragma once

#include "app/win32/DialogScale.h"

#include <windows.h>

namespace tarvane {

// The Notes dialog from its template, modal to `owner`; it closes with its
// close box, Esc or Enter.
void runNotesDialog(HINSTANCE instance, HWND owner);

// The same dialog without a loop of its own, for tests; `scale` keeps its
// pictures and must outlive it. DestroyWindow ends it.
HWND createNotesDialog(HINSTANCE instance, HWND owner, DialogScale& scale);

} // namespace tarvane
