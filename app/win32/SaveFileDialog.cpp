#include "app/win32/SaveFileDialog.h"

#include "win32/WideText.h"

#include <commdlg.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>

namespace tarvane {

std::optional<std::string> runSaveFileDialog(HWND owner, const std::string& suggestedName) {
    PWSTR documents = nullptr;
    const bool found = SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &documents));
    // The folder's text is the caller's to free, even when the call fails.
    const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> ownedFolder{documents, &CoTaskMemFree};

    // Room up to the long-path limit, so that no folder the user picks is cut short.
    std::wstring file = toWide(suggestedName);
    file.resize(std::max<std::size_t>(file.size() + 1, 32768), L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = L"Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = found ? documents : nullptr;
    dialog.lpstrDefExt = L"txt";
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&dialog)) return std::nullopt;
    return toUtf8(file.c_str());
}

} // namespace tarvane
