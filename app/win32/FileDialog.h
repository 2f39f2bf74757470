#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvane {

// "Name|pattern|Name|pattern|" split into the dialog's file types, in order.
std::vector<std::pair<std::wstring, std::wstring>> fileTypes(const std::string& filter);

// The system's Vista-style open-file dialog, owned by `owner`, opening in
// `directory` with the filter's first entry in effect. The chosen file's full
// path in UTF-8, or nothing when cancelled or when the dialog cannot run.
std::optional<std::string> runOpenFileDialog(HWND owner, const std::string& filter, const std::string& directory);

} // namespace tarvane
