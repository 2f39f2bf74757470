// The dialog templates as the resource compiler wrote them into the program,
// read back byte by byte the way the dialog manager reads them: what a user
// gets is checked, not only what the script says.
#include "app/DialogTemplates.h"
#include "res/resource.h"
#include "res/version.h"
#include "win32/WideText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

namespace tarvane {
namespace {

struct Reader {
    const std::uint8_t* p;

    std::uint16_t word() {
        std::uint16_t v = 0;
        std::memcpy(&v, p, 2);
        p += 2;
        return v;
    }
    std::uint32_t dword() {
        std::uint32_t v = 0;
        std::memcpy(&v, p, 4);
        p += 4;
        return v;
    }
    std::wstring string() {
        std::wstring s;
        for (std::uint16_t c = word(); c != 0; c = word()) s += static_cast<wchar_t>(c);
        return s;
    }
    // A name or an ordinal: an ordinal comes back as "#N".
    std::wstring nameOrOrdinal() {
        std::uint16_t first = 0;
        std::memcpy(&first, p, 2);
        if (first == 0xFFFF) {
            p += 2;
            return L"#" + std::to_wstring(word());
        }
        return string();
    }
    void alignTo4(const std::uint8_t* base) {
        while ((p - base) % 4 != 0) ++p;
    }
};

struct CompiledControl {
    std::uint32_t exStyle, style;
    int x, y, width, height;
    std::uint32_t id;
    std::wstring className, text;
};

struct CompiledDialog {
    std::uint32_t exStyle = 0, style = 0;
    int width = 0, height = 0;
    std::wstring caption, font;
    int pointSize = 0, weight = 0, italic = 0;
    std::vector<CompiledControl> controls;
};

CompiledDialog loadDialog(int id) {
    CompiledDialog dialog;
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
    if (found == nullptr) return dialog;
    const auto* base = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
    Reader r{base};
    if (r.word() != 1 || r.word() != 0xFFFF) return dialog; // DLGTEMPLATEEX only
    r.dword();                                               // help id
    dialog.exStyle = r.dword();
    dialog.style = r.dword();
    const std::uint16_t count = r.word();
    r.word();
    r.word();
    dialog.width = static_cast<std::int16_t>(r.word());
    dialog.height = static_cast<std::int16_t>(r.word());
    r.nameOrOrdinal(); // menu
    r.nameOrOrdinal(); // class
    dialog.caption = r.string();
    if ((dialog.style & DS_SETFONT) != 0) {
        dialog.pointSize = r.word();
        dialog.weight = r.word();
        dialog.italic = *r.p++;
        r.p++; // character set
        dialog.font = r.string();
    }
    for (int i = 0; i < count; ++i) {
        r.alignTo4(base);
        CompiledControl c{};
        r.dword(); // help id
        c.exStyle = r.dword();
        c.style = r.dword();
        c.x = static_cast<std::int16_t>(r.word());
        c.y = static_cast<std::int16_t>(r.word());
        c.width = static_cast<std::int16_t>(r.word());
        c.height = static_cast<std::int16_t>(r.word());
        c.id = r.dword();
        c.className = r.nameOrOrdinal();
        c.text = r.nameOrOrdinal();
        r.p += r.word(); // creation data
        dialog.controls.push_back(c);
    }
    return dialog;
}

// The dialog manager takes a class by ordinal or by name, in any case.
std::wstring normalisedClass(const std::wstring& written) {
    if (written == L"#128") return L"BUTTON";
    if (written == L"#129") return L"EDIT";
    if (written == L"#130") return L"STATIC";
    std::wstring upper = written;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    return upper;
}

std::wstring className(ControlKind kind) {
    switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::RadioButton:
        return L"BUTTON";
    case ControlKind::Log:
        return L"EDIT";
    case ControlKind::Text:
    case ControlKind::SunkenText:
    case ControlKind::Picture:
        return L"STATIC";
    case ControlKind::ProgressBar:
        return L"MSCTLS_PROGRESS32";
    }
    return {};
}

// The bits each kind must carry besides those of the table's columns.
std::uint32_t kindStyle(ControlKind kind) {
    switch (kind) {
    case ControlKind::PushButton:
        return BS_PUSHBUTTON;
    case ControlKind::RadioButton:
        return BS_AUTORADIOBUTTON;
    case ControlKind::Text:
        return SS_LEFT;
    case ControlKind::SunkenText:
        return SS_LEFT | SS_ENDELLIPSIS;
    case ControlKind::Picture:
        return SS_BITMAP;
    case ControlKind::Log:
        return ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | WS_BORDER | WS_VSCROLL;
    case ControlKind::ProgressBar:
        return 0;
    }
    return 0;
}

void expectMatches(const CompiledDialog& compiled, const DialogTemplate& expected) {
    EXPECT_EQ(compiled.width, expected.width);
    EXPECT_EQ(compiled.height, expected.height);
    EXPECT_EQ(toUtf8(compiled.caption), expected.caption);
    EXPECT_EQ(toUtf8(compiled.font), expected.font);
    EXPECT_EQ(compiled.pointSize, expected.pointSize);
    EXPECT_EQ(compiled.weight, FW_NORMAL);
    EXPECT_EQ(compiled.italic, 0);
    ASSERT_EQ(compiled.controls.size(), expected.controls.size());
    for (std::size_t i = 0; i < expected.controls.size(); ++i) {
        const CompiledControl& c = compiled.controls[i];
        const ControlTemplate& t = expected.controls[i];
        SCOPED_TRACE(t.id);
        EXPECT_EQ(c.id, static_cast<std::uint32_t>(t.id));
        EXPECT_EQ(normalisedClass(c.className), className(t.kind));
        EXPECT_EQ(c.text, t.kind == ControlKind::Picture ? L"#" + std::to_wstring(t.bitmapId) : toWide(t.text));
        EXPECT_EQ(c.x, t.x);
        EXPECT_EQ(c.y, t.y);
        EXPECT_EQ(c.width, t.width);
        EXPECT_EQ(c.height, t.height);
        std::uint32_t style = WS_CHILD | kindStyle(t.kind);
        if (t.visibleAtStart) style |= WS_VISIBLE;
        if (!t.enabledAtStart) style |= WS_DISABLED;
        if (t.tabStop) style |= WS_TABSTOP;
        if (t.group) style |= WS_GROUP;
        EXPECT_EQ(c.style, style) << std::hex << c.style << " " << style;
        EXPECT_EQ(c.exStyle, t.kind == ControlKind::SunkenText ? static_cast<std::uint32_t>(WS_EX_STATICEDGE) : 0u);
    }
}

TEST(CompiledTemplateTest, MainDialogIsTheTemplateBitForBit) {
    const CompiledDialog main = loadDialog(IDD_MAIN);
    expectMatches(main, mainDialogTemplate());
    EXPECT_EQ(main.style, static_cast<std::uint32_t>(DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_VISIBLE |
                                                     WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(main.exStyle, static_cast<std::uint32_t>(WS_EX_APPWINDOW));
}

TEST(CompiledTemplateTest, NotesDialogIsTheTemplateBitForBit) {
    const CompiledDialog notes = loadDialog(IDD_NOTES);
    expectMatches(notes, notesDialogTemplate());
    EXPECT_EQ(notes.style, static_cast<std::uint32_t>(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(notes.exStyle, static_cast<std::uint32_t>(WS_EX_TOOLWINDOW | WS_EX_STATICEDGE));
}

TEST(CompiledTemplateTest, ManifestAndVersionBlockAreInTheProgram) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(manifest, nullptr);
    const std::string text(static_cast<const char*>(LockResource(LoadResource(module, manifest))),
                           SizeofResource(module, manifest));
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(text.find(sizeof(void*) == 8 ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"x86\""),
              std::string::npos);
    EXPECT_NE(text.find("name=\"Tarvane.FirmwareUpdater\" version=\"" TARVANE_VERSION_QUAD "\""), std::string::npos);
    for (const char* entry : {"level=\"asInvoker\"", "uiAccess=\"false\"", ">true/pm</dpiAware>",
                              ">PerMonitorV2, PerMonitor</dpiAwareness>"}) {
        EXPECT_NE(text.find(entry), std::string::npos) << entry;
    }

    wchar_t path[MAX_PATH]{};
    GetModuleFileNameW(module, path, MAX_PATH);
    DWORD ignored = 0;
    std::vector<std::uint8_t> block(GetFileVersionInfoSizeW(path, &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, static_cast<DWORD>(block.size()), block.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &length));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwFileVersionMS, DWORD{TARVANE_VERSION_MAJOR} << 16 | TARVANE_VERSION_MINOR);
    EXPECT_EQ(fixed->dwFileVersionLS, DWORD{TARVANE_VERSION_PATCH} << 16);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
        ASSERT_TRUE(VerQueryValueW(block.data(), (std::wstring(L"\\StringFileInfo\\040904b0\\") + name).c_str(),
                                   &value, &length));
        EXPECT_EQ(toUtf8(static_cast<const wchar_t*>(value)), TARVANE_VERSION_QUAD) << toUtf8(name);
    }
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\ProductName", &value, &length));
    EXPECT_EQ(toUtf8(static_cast<const wchar_t*>(value)), TARVANE_PRODUCT_NAME);
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\LegalCopyright", &value, &length));
    EXPECT_NE(std::wstring(static_cast<const wchar_t*>(value)).find(L'\u00A9'), std::wstring::npos)
        << "the UTF-8 script keeps the copyright sign";
}

} // namespace
} // namespace tarvane
