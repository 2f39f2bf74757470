// The Win32 window as a screen reader and a keyboard user meet it: names,
// descriptions and reading order read through MSAA, the events of an update,
// and a whole update driven by keys through the dialog manager.
#include "app/win32/Win32DialogView.h"
#include "res/resource.h"
#include "sim/SimDevicePort.h"
#include "tests/support/HexGen.h"
#include "usb/PortFactory.h"
#include "win32/WideText.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvane {
namespace {

struct Accessible {
    IAccessible* object = nullptr;
    explicit Accessible(IAccessible* o) : object(o) {}
    Accessible(const Accessible&) = delete;
    Accessible& operator=(const Accessible&) = delete;
    ~Accessible() {
        if (object) object->Release();
    }
    std::wstring read(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) const {
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR text = nullptr;
        if (!object || FAILED((object->*get)(self, &text)) || !text) return {};
        std::wstring out(text, SysStringLen(text));
        SysFreeString(text);
        return out;
    }
    std::wstring name() const { return read(&IAccessible::get_accName); }
    std::wstring description() const { return read(&IAccessible::get_accDescription); }
};

std::unique_ptr<Accessible> clientOf(HWND window) {
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                          reinterpret_cast<void**>(&object))))
        object = nullptr;
    return std::make_unique<Accessible>(object);
}

// The window's children in the order it gives them, by name.
std::vector<std::wstring> childNames(const Accessible& window) {
    std::vector<std::wstring> names;
    long count = 0;
    if (!window.object || FAILED(window.object->get_accChildCount(&count))) return names;
    for (long i = 1; i <= count; ++i) {
        VARIANT index{};
        index.vt = VT_I4;
        index.lVal = i;
        IDispatch* child = nullptr;
        if (FAILED(window.object->get_accChild(index, &child)) || !child) {
            names.emplace_back();
            continue;
        }
        IAccessible* accessible = nullptr;
        child->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(&accessible));
        child->Release();
        names.push_back(Accessible(accessible).name());
    }
    return names;
}

std::vector<std::pair<DWORD, HWND>> seenEvents;

void CALLBACK onEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG, LONG, DWORD, DWORD) {
    seenEvents.emplace_back(event, window);
}

class AccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        view = std::make_unique<Win32DialogView>(GetModuleHandleW(nullptr));
        view->setFileDialogHook([this](const std::string&, const std::string&) {
            ++browsed;
            return answer;
        });
        window = view->createModeless();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        if (IsWindow(window)) DestroyWindow(window);
        view.reset();
        CoUninitialize();
    }

    HWND item(int id) const { return GetDlgItem(window, id); }
    // A key as the message loop hands it to the dialog manager.
    void key(UINT message, WPARAM code, bool alt = false) {
        HWND focus = GetFocus();
        MSG m{};
        m.hwnd = focus ? focus : window;
        m.message = message;
        m.wParam = code;
        m.lParam = alt ? (1L << 29) : 0;
        if (!IsDialogMessageW(window, &m)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
    void altKey(wchar_t letter) { key(WM_SYSCHAR, letter, true); }
    template <class Done>
    bool pumpUntil(Done done, std::chrono::seconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            MSG message{};
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        return true;
    }
    std::wstring logText() const {
        std::wstring buffer(8192, L'\0');
        buffer.resize(static_cast<std::size_t>(GetWindowTextW(item(IDC_LOG), buffer.data(), 8192)));
        return buffer;
    }

    std::unique_ptr<Win32DialogView> view;
    HWND window = nullptr;
    std::optional<std::string> answer;
    int browsed = 0;
};

TEST_F(AccessibilityTest, NamesDescriptionsAndReadingOrder) {
    EXPECT_EQ(clientOf(item(IDC_LOG))->name(), L"Log");
    EXPECT_EQ(clientOf(item(IDC_FILE_NAME))->name(), L"No file loaded");
    EXPECT_EQ(clientOf(item(IDC_DEVICE_PICTURE))->name(), L"Tarvane front panel");
    EXPECT_EQ(clientOf(item(IDC_BOARD_PICTURE))->name(), L"Programming board");
    EXPECT_NE(clientOf(item(IDC_NOTES))->description(), L"");

    const std::vector<std::wstring> names = childNames(*clientOf(window));
    ASSERT_EQ(names.size(), 17u);
    EXPECT_EQ(names.front().substr(0, 7), L"STEP 1)");
    EXPECT_EQ(names[1].substr(0, 7), L"STEP 2)");
    EXPECT_EQ(names[11].substr(0, 7), L"STEP 6)");
    EXPECT_EQ(names[12], L"No file loaded");
    EXPECT_EQ(names[14], L"Log");

    // A board's pictures say what they mark.
    SendMessageW(item(IDC_DISPLAY_BOARD), BM_CLICK, 0, 0);
    EXPECT_EQ(clientOf(item(IDC_BOARD_PICTURE))->name(),
              L"Programming board, Display Switch S2 and Display Port J3 marked");
}

TEST_F(AccessibilityTest, WholeUpdateByKeysIsAnnounced) {
    const test::ScratchDir scratch;
    answer = scratch.write("Tarvane_Display_Board_test.hex",
                           test::generateHex({{test::kGenImageBase, test::patternBytes(600, 7)}}).text);
    ASSERT_FALSE(answer->empty());
    setSimulatedBoardOpener(simulatedBoardOpener());
    ASSERT_EQ(useDeviceAddress(view->dialog(), "sim"), "");
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, onEvent, GetCurrentProcessId(), 0,
                                         WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    seenEvents.clear();
    SetFocus(item(IDC_NOTES));

    altKey(L'd');
    EXPECT_EQ(SendMessageW(item(IDC_DISPLAY_BOARD), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(logText(), L"Display board selected\r\n");
    altKey(L'b');
    pumpUntil([&] { return browsed == 1; }, std::chrono::seconds(5));
    ASSERT_EQ(browsed, 1);
    altKey(L'u');
    ASSERT_TRUE(pumpUntil([&] { return IsWindowEnabled(item(IDC_UPDATE)) &&
                                       logText().find(L"Push the POWER") != std::wstring::npos; },
                          std::chrono::seconds(30)))
        << toUtf8(logText());
    EXPECT_NE(logText().find(L"=== UPGRADE COMPLETE ==="), std::wstring::npos);
    EXPECT_EQ(clientOf(item(IDC_PROGRESS))->name(), L"Update complete");

    // Tab reaches the log, whose caret keys then read it.
    for (int i = 0; i < 4 && GetFocus() != item(IDC_LOG); ++i) key(WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetFocus(), item(IDC_LOG));

    pumpUntil([] { return false; }, std::chrono::seconds(0));
    UnhookWinEvent(hook);
    int logChanges = 0;
    int alerts = 0;
    for (const auto& [event, source] : seenEvents) {
        if (event == EVENT_OBJECT_VALUECHANGE && source == item(IDC_LOG)) ++logChanges;
        if (event == EVENT_SYSTEM_ALERT && source == item(IDC_PROGRESS)) ++alerts;
    }
    // One value change for each line at least; one alert, at the end.
    EXPECT_GE(logChanges, 11);
    EXPECT_EQ(alerts, 1);
}

} // namespace
} // namespace tarvane
