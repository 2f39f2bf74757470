#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tarvane {

// The system's save-file dialog, owned by `owner`, proposing `suggestedName`
// in the user's Documents folder and asking before it replaces a file. The
// chosen path in UTF-8, or nothing when cancelled.
std::optional<std::string> runSaveFileDialog(HWND owner, const std::string& suggestedName);

} // namespace tarvane
