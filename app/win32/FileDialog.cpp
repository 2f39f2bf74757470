#include "app/win32/FileDialog.h"

#include "firmware/Utf8Path.h"
#include "win32/WideText.h"

#include <shobjidl.h>
#include <wrl/client.h>

#include <memory>

namespace tarvane {

using Microsoft::WRL::ComPtr;

std::vector<std::pair<std::wstring, std::wstring>> fileTypes(const std::string& filter) {
    std::vector<std::pair<std::wstring, std::wstring>> types;
    std::vector<std::string> parts;
    std::string part;
    for (char c : filter) {
        if (c == '|') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    // A name without its pattern is no entry.
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) types.emplace_back(toWide(parts[i]), toWide(parts[i + 1]));
    return types;
}

std::optional<std::string> runOpenFileDialog(HWND owner, const std::string& filter, const std::string& directory) {
    ComPtr<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog)))) {
        return std::nullopt;
    }

    const auto types = fileTypes(filter);
    std::vector<COMDLG_FILTERSPEC> entries;
    for (const auto& [name, pattern] : types) entries.push_back({name.c_str(), pattern.c_str()});
    if (!entries.empty()) {
        dialog->SetFileTypes(static_cast<UINT>(entries.size()), entries.data());
        dialog->SetFileTypeIndex(1);
    }

    FILEOPENDIALOGOPTIONS options = 0;
    if (SUCCEEDED(dialog->GetOptions(&options))) dialog->SetOptions(options | FOS_FORCEFILESYSTEM);

    if (!directory.empty()) {
        ComPtr<IShellItem> folder;
        const std::filesystem::path folderPath = pathFromUtf8(directory);
        if (SUCCEEDED(SHCreateItemFromParsingName(folderPath.c_str(), nullptr, IID_PPV_ARGS(&folder)))) {
            dialog->SetFolder(folder.Get());
        }
    }

    if (FAILED(dialog->Show(owner))) return std::nullopt;
    ComPtr<IShellItem> result;
    if (FAILED(dialog->GetResult(&result))) return std::nullopt;
    PWSTR path = nullptr;
    if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, &path)) || path == nullptr) return std::nullopt;
    const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> owned{path, &CoTaskMemFree};
    return toUtf8(path);
}

} // namespace tarvane
