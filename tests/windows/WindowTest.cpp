// The Win32 window driven as a user drives it: clicks sent to its buttons,
// its controls read back through the system, a whole update on the in-process
// simulated board with the real timer, posted link messages and pauses.
#include "app/DialogTemplates.h"
#include "app/win32/NotesDialog.h"
#include "app/win32/SupportReportMenu.h"
#include "app/win32/Win32DialogView.h"
#include "firmware/Utf8Path.h"
#include "front/BoardTexts.h"
#include "res/resource.h"
#include "sim/SimDevicePort.h"
#include "tests/support/HexGen.h"
#include "usb/PortFactory.h"
#include "win32/WideText.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tarvane {
namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        view = std::make_unique<Win32DialogView>(GetModuleHandleW(nullptr));
        view->setMessageBoxHook([this](const MessageBoxRequest& box) { boxes.push_back(box.text); });
        view->setFileDialogHook([this](const std::string& filter, const std::string&) {
            filters.push_back(filter);
            return answer;
        });
        view->setNotesHook([this] { ++notesShown; });
        window = view->createModeless();
        ASSERT_NE(window, nullptr);
    }

    void TearDown() override {
        if (IsWindow(window)) DestroyWindow(window);
    }

    HWND item(int id) const { return GetDlgItem(window, id); }
    std::wstring text(int id) const {
        std::wstring buffer(4096, L'\0');
        buffer.resize(static_cast<std::size_t>(GetWindowTextW(item(id), buffer.data(), 4096)));
        return buffer;
    }
    bool enabled(int id) const { return IsWindowEnabled(item(id)) != FALSE; }
    bool visible(int id) const { return (GetWindowLongW(item(id), GWL_STYLE) & WS_VISIBLE) != 0; }
    bool checked(int id) const { return SendMessageW(item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void click(int id) { SendMessageW(item(id), BM_CLICK, 0, 0); }
    HBITMAP picture(int id) const {
        return reinterpret_cast<HBITMAP>(SendMessageW(item(id), STM_GETIMAGE, IMAGE_BITMAP, 0));
    }
    static SIZE bitmapSize(HBITMAP bitmap) {
        BITMAP info{};
        GetObjectW(bitmap, sizeof info, &info);
        return {info.bmWidth, info.bmHeight};
    }
    // The control's place in its dialog's client area.
    static RECT placeOf(HWND dialog, int id) {
        RECT place{};
        GetWindowRect(GetDlgItem(dialog, id), &place);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
        return place;
    }
    RECT placeOf(int id) const { return placeOf(window, id); }
    // The picture fills its template frame (at the dialog's own units) along
    // one side, within the rounding of units and pixels, and stays inside it.
    static void expectPictureFillsFrame(HWND dialog, const DialogTemplate& layout, int id) {
        const ControlTemplate* c = nullptr;
        for (const ControlTemplate& t : layout.controls)
            if (t.id == id) c = &t;
        ASSERT_NE(c, nullptr);
        RECT frame{c->x, c->y, c->x + c->width, c->y + c->height};
        MapDialogRect(dialog, &frame);
        const RECT place = placeOf(dialog, id);
        const SIZE shown =
            bitmapSize(reinterpret_cast<HBITMAP>(SendDlgItemMessageW(dialog, id, STM_GETIMAGE, IMAGE_BITMAP, 0)));
        const long frameW = frame.right - frame.left;
        const long frameH = frame.bottom - frame.top;
        std::printf("picture %d: %ldx%ld in a %ldx%ld frame\n", id, shown.cx, shown.cy, frameW, frameH);
        EXPECT_EQ(place.right - place.left, shown.cx) << id;
        EXPECT_EQ(place.bottom - place.top, shown.cy) << id;
        EXPECT_TRUE(std::abs(shown.cx - frameW) <= 3 || std::abs(shown.cy - frameH) <= 3) << id;
        EXPECT_LE(shown.cx, frameW + 3) << id;
        EXPECT_LE(shown.cy, frameH + 3) << id;
        EXPECT_GE(place.left, frame.left - 3) << id;
        EXPECT_GE(place.top, frame.top - 3) << id;
        EXPECT_LE(place.right, frame.right + 3) << id;
        EXPECT_LE(place.bottom, frame.bottom + 3) << id;
    }
    // The caret stands at the end of the last line, before its CR LF.
    void expectCaretAtLastLine() const {
        DWORD start = 0;
        DWORD end = 0;
        SendMessageW(item(IDC_LOG), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        const std::size_t n = text(IDC_LOG).size();
        ASSERT_GE(n, 2u);
        EXPECT_EQ(start, n - 2);
        EXPECT_EQ(end, n - 2);
    }
    // Runs the window's messages until `done` holds or the time is up.
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

    // Right-clicks the log and reads back the menu that opens: each item's
    // text and whether it is enabled. With `choose`, the last item is chosen
    // by the keyboard, as a user would; otherwise the menu is dismissed.
    std::vector<std::pair<std::wstring, bool>> logContextMenu(bool choose) {
        static std::vector<std::pair<std::wstring, bool>> seen;
        static bool chooseLast = false;
        seen.clear();
        chooseLast = choose;
        // The menu runs its own loop; a thread timer reaches into it. Only
        // this thread's menu: other tests' windows share the display.
        const UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
            HWND popup = nullptr;
            EnumThreadWindows(
                GetCurrentThreadId(),
                [](HWND candidate, LPARAM found) {
                    wchar_t name[16]{};
                    GetClassNameW(candidate, name, 16);
                    if (std::wstring_view(name) != L"#32768" || !IsWindowVisible(candidate)) return TRUE;
                    *reinterpret_cast<HWND*>(found) = candidate;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&popup));
            if (popup == nullptr) return;
            KillTimer(nullptr, id);
            auto menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                wchar_t label[64]{};
                GetMenuStringW(menu, static_cast<UINT>(i), label, 64, MF_BYPOSITION);
                seen.emplace_back(label, (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED) == 0);
            }
            if (!chooseLast) {
                EndMenu();
                return;
            }
            PostMessageW(popup, WM_KEYDOWN, VK_END, 0);
            PostMessageW(popup, WM_CHAR, L'\r', 0);
        });
        RECT box{};
        GetWindowRect(item(IDC_LOG), &box);
        SendMessageW(item(IDC_LOG), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(item(IDC_LOG)),
                     MAKELPARAM(box.left + 10, box.top + 10));
        KillTimer(nullptr, timer);
        return seen;
    }

    std::unique_ptr<Win32DialogView> view;
    HWND window = nullptr;
    std::vector<std::string> boxes;
    std::vector<std::string> filters;
    std::optional<std::string> answer;
    int notesShown = 0;
};

TEST_F(WindowTest, OpensAsTheTemplateSays) {
    wchar_t title[128]{};
    GetWindowTextW(window, title, 128);
    EXPECT_EQ(toUtf8(title), kWindowTitle);
    EXPECT_EQ(SendMessageW(window, WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(view->icon()));
    EXPECT_EQ(SendMessageW(window, WM_QUERYDRAGICON, 0, 0), reinterpret_cast<LRESULT>(view->icon()));

    for (int id : {IDC_INTERFACE_BOARD, IDC_DISPLAY_BOARD, IDC_NOTES, IDC_STEP1, IDC_STEP2, IDC_FIRST_TIME})
        EXPECT_TRUE(enabled(id)) << id;
    for (int id : {IDC_BROWSE, IDC_UPDATE, IDC_STEP3, IDC_STEP4, IDC_STEP5, IDC_STEP6, IDC_FILE_NAME, IDC_LOG})
        EXPECT_FALSE(enabled(id)) << id;
    EXPECT_FALSE(visible(IDC_PROGRESS));
    EXPECT_FALSE(checked(IDC_INTERFACE_BOARD));
    EXPECT_FALSE(checked(IDC_DISPLAY_BOARD));
    EXPECT_EQ(text(IDC_FILE_NAME), L"<No file loaded>");

    // The pictures come from the template itself, at the bitmaps' own sizes.
    ASSERT_NE(picture(IDC_BOARD_PICTURE), nullptr);
    ASSERT_NE(picture(IDC_DEVICE_PICTURE), nullptr);
    EXPECT_EQ(bitmapSize(picture(IDC_BOARD_PICTURE)).cx, 325);
    EXPECT_EQ(bitmapSize(picture(IDC_DEVICE_PICTURE)).cy, 296);

    // Notes opens before any board is chosen.
    click(IDC_NOTES);
    EXPECT_EQ(notesShown, 1);
}

TEST_F(WindowTest, BoardChoiceFillsTextsPicturesAndLogAndSwitchingBoardsClearsTheOther) {
    const HBITMAP startBoard = picture(IDC_BOARD_PICTURE);
    click(IDC_DISPLAY_BOARD);
    EXPECT_TRUE(checked(IDC_DISPLAY_BOARD));
    const BoardTexts& display = *boardTexts(BoardKind::Display);
    EXPECT_EQ(text(IDC_STEP3), toWide(display.step3));
    EXPECT_NE(text(IDC_STEP3).find(L"micro\u2013B"), std::wstring::npos);
    EXPECT_EQ(text(IDC_STEP5), toWide(display.step5));
    EXPECT_EQ(text(IDC_LOG), L"Display board selected\r\n");
    expectCaretAtLastLine();
    EXPECT_NE(picture(IDC_BOARD_PICTURE), startBoard);
    EXPECT_EQ(bitmapSize(picture(IDC_BOARD_PICTURE)).cy, 294);
    EXPECT_EQ(bitmapSize(picture(IDC_DEVICE_PICTURE)).cy, 296);
    EXPECT_TRUE(enabled(IDC_BROWSE));
    EXPECT_FALSE(enabled(IDC_UPDATE));
    for (int id : {IDC_STEP3, IDC_STEP4, IDC_STEP5, IDC_STEP6, IDC_FILE_NAME, IDC_LOG}) EXPECT_TRUE(enabled(id)) << id;

    click(IDC_INTERFACE_BOARD);
    EXPECT_TRUE(checked(IDC_INTERFACE_BOARD));
    EXPECT_FALSE(checked(IDC_DISPLAY_BOARD)) << "the radios share one group";
    EXPECT_EQ(text(IDC_LOG), L"Interface board selected\r\n");
    EXPECT_EQ(text(IDC_STEP4), toWide(boardTexts(BoardKind::Interface)->step4));
}

// At whatever scale the process runs (the DPI case of wine-cases.sh starts it
// at several), and again after a change of scale sent as the system sends it.
TEST_F(WindowTest, PicturesFillTheirFramesAndFollowAScaleChange) {
    click(IDC_DISPLAY_BOARD);
    const std::array<int, 2> pictures{IDC_BOARD_PICTURE, IDC_DEVICE_PICTURE};
    for (int id : pictures) expectPictureFillsFrame(window, mainDialogTemplate(), id);
    {
        DialogScale notesScale;
        const std::unique_ptr<std::remove_pointer_t<HWND>, decltype(&DestroyWindow)> notes(
            createNotesDialog(GetModuleHandleW(nullptr), window, notesScale), &DestroyWindow);
        ASSERT_NE(notes, nullptr);
        for (int id : {IDC_NOTES_SETUP_PICTURE, IDC_NOTES_READY_PICTURE})
            expectPictureFillsFrame(notes.get(), notesDialogTemplate(), id);
    }

    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    // The case that sets the prefix's resolution names it: a run at another
    // one would pass without testing that scale.
    if (const char* asked = std::getenv("TARVANE_WINDOW_DPI")) {
        ASSERT_EQ(dpi, std::atoi(asked));
    }
    RECT before{};
    GetWindowRect(window, &before);
    const SIZE boardBefore = bitmapSize(picture(IDC_BOARD_PICTURE));
    RECT suggested{before.left, before.top, before.left + 2 * (before.right - before.left),
                   before.top + 2 * (before.bottom - before.top)};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(2 * dpi, 2 * dpi), reinterpret_cast<LPARAM>(&suggested));
    RECT after{};
    GetWindowRect(window, &after);
    EXPECT_EQ(after.right - after.left, suggested.right - suggested.left);
    EXPECT_EQ(after.bottom - after.top, suggested.bottom - suggested.top);
    // Twice the scale: the font's units, and so the frames, about double.
    const SIZE boardAfter = bitmapSize(picture(IDC_BOARD_PICTURE));
    std::printf("board picture after the change to %d dpi: %ldx%ld\n", 2 * dpi, boardAfter.cx, boardAfter.cy);
    EXPECT_NEAR(boardAfter.cx, 2 * boardBefore.cx, boardBefore.cx / 10);
    EXPECT_NEAR(boardAfter.cy, 2 * boardBefore.cy, boardBefore.cy / 10);
    for (int id : pictures) {
        const RECT place = placeOf(id);
        EXPECT_EQ(place.right - place.left, bitmapSize(picture(id)).cx) << id;
    }
}

TEST_F(WindowTest, ChosenFileWithAnyCharactersArmsUpdateAndCancelKeepsIt) {
    click(IDC_INTERFACE_BOARD);
    answer = "C:\\Firmware \xC3\x9C\xE2\x80\x93\xE6\x9D\xBF\\Tarvane_Interface_Board_2048.hex";
    click(IDC_BROWSE);
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(filters[0].rfind("Interface HEX Files (*.hex)|*Interface_Board*.hex|", 0), 0u);
    EXPECT_EQ(text(IDC_FILE_NAME), L"Tarvane_Interface_Board_2048.hex");
    EXPECT_EQ(view->dialog().hexPath(), *answer);
    EXPECT_EQ(text(IDC_LOG), L"Interface board selected\r\nHEX file selected\r\n");
    expectCaretAtLastLine();
    EXPECT_TRUE(enabled(IDC_UPDATE));

    answer.reset();
    click(IDC_BROWSE);
    EXPECT_TRUE(enabled(IDC_UPDATE));
    EXPECT_EQ(text(IDC_LOG), L"Interface board selected\r\nHEX file selected\r\n");
}

TEST_F(WindowTest, PostedLinkMessagesAreFreedWhenTheWindowGoesFirst) {
    LinkMessage message;
    message.command = 1;
    message.data = {1, 2};
    view->postLinkMessage(message);
    view->postLinkMessage(message);
    DestroyWindow(window);
    EXPECT_EQ(view->drainedMessages(), 2u);
    // With the window gone nothing is queued at all.
    view->postLinkMessage(message);
    MSG left{};
    EXPECT_FALSE(PeekMessageW(&left, nullptr, WM_LINK_RESPONSE, WM_LINK_TIMEOUT, PM_REMOVE));
}

TEST_F(WindowTest, WholeUpdateOnTheSimulatedBoardAndNoDeviceAtAll) {
    const test::ScratchDir scratch;
    const std::string file =
        scratch.write("Tarvane_Interface_Board_test.hex",
                      test::generateHex({{test::kGenImageBase, test::patternBytes(600, 7)}}).text);
    ASSERT_FALSE(file.empty());

    setSimulatedBoardOpener(simulatedBoardOpener());
    // The kernel USB run (make test-usb) points this case at a board on a real bus.
    const char* device = std::getenv("TARVANE_FLOW_DEVICE");
    ASSERT_EQ(useDeviceAddress(view->dialog(), device ? device : "sim"), "");
    click(IDC_INTERFACE_BOARD);
    answer = file;
    click(IDC_BROWSE);
    click(IDC_UPDATE);
    for (int id : {IDC_INTERFACE_BOARD, IDC_DISPLAY_BOARD, IDC_NOTES, IDC_BROWSE, IDC_UPDATE})
        EXPECT_FALSE(enabled(id)) << id;
    ASSERT_TRUE(pumpUntil([&] { return text(IDC_LOG).find(L"=== UPGRADE COMPLETE ===") != std::wstring::npos; },
                          std::chrono::seconds(30)))
        << toUtf8(text(IDC_LOG));
    pumpUntil([&] { return text(IDC_LOG).find(L"Push the POWER") != std::wstring::npos; }, std::chrono::seconds(5));
    EXPECT_EQ(text(IDC_LOG), L"Update started\r\nConnecting...\r\nConnected\r\nFlash erased\r\nProgramming flash...\r\n"
                             L"Programming complete\r\nVerification successful\r\n=== UPGRADE COMPLETE ===\r\n"
                             L"a) Remove the USB-C CHARGER and micro\u2013B USB cables\r\n"
                             L"b) Slide the switch S4 to OFF and then to ON\r\n"
                             L"c) Push the POWER button to power up the Tarvane\r\n");
    expectCaretAtLastLine();
    EXPECT_TRUE(visible(IDC_PROGRESS));
    EXPECT_EQ(SendMessageW(item(IDC_PROGRESS), PBM_GETPOS, 0, 0), 100);
    EXPECT_EQ(SendMessageW(item(IDC_PROGRESS), PBM_GETRANGE, FALSE, 0), 100);
    for (int id : {IDC_INTERFACE_BOARD, IDC_DISPLAY_BOARD, IDC_NOTES, IDC_BROWSE, IDC_UPDATE})
        EXPECT_TRUE(enabled(id)) << id;
    EXPECT_TRUE(boxes.empty());

    // Port 1 on the loopback refuses at once: no device, one box, the controls back.
    ASSERT_EQ(useDeviceAddress(view->dialog(), "tcp:127.0.0.1:1"), "");
    click(IDC_UPDATE);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Device not found");
    EXPECT_EQ(text(IDC_LOG), L"Update started\r\n");
    EXPECT_FALSE(visible(IDC_PROGRESS));
    EXPECT_TRUE(enabled(IDC_UPDATE));
}

TEST_F(WindowTest, FailuresWhileProgrammingHideTheProgressBar) {
    const test::ScratchDir scratch;
    const std::string file =
        scratch.write("Tarvane_Interface_Board_test.hex",
                      test::generateHex({{test::kGenImageBase, test::patternBytes(600, 7)}}).text);
    ASSERT_FALSE(file.empty());
    click(IDC_INTERFACE_BOARD);
    answer = file;
    click(IDC_BROWSE);

    // A board that stops answering while it is programmed, then one whose
    // program answers the link cannot read, so the watchdog ends the update.
    SimFaults silent;
    silent.silent = {CMD_PROGRAM};
    SimFaults garbled;
    garbled.unknownAnswer = {CMD_PROGRAM};
    const std::pair<SimFaults, const wchar_t*> cases[] = {{silent, L">> No Response from the device!"},
                                                          {garbled, L">> Timeout detected!"}};
    for (const auto& [faults, failure] : cases) {
        setSimulatedBoardOpener(simulatedBoardOpener(std::make_shared<SimulatedBoard>(faults)));
        ASSERT_EQ(useDeviceAddress(view->dialog(), "sim"), "");
        click(IDC_UPDATE);
        EXPECT_TRUE(pumpUntil([&] { return visible(IDC_PROGRESS); }, std::chrono::seconds(10)));
        ASSERT_TRUE(pumpUntil([&] { return text(IDC_LOG).find(failure) != std::wstring::npos; },
                              std::chrono::seconds(30)))
            << toUtf8(text(IDC_LOG));
        EXPECT_FALSE(visible(IDC_PROGRESS)) << toUtf8(failure);
    }
    setSimulatedBoardOpener(simulatedBoardOpener());
}

TEST_F(WindowTest, SupportReportIsSavedFromEitherMenuOnceAnUpdateHasRun) {
    // The Windows end-to-end case names a folder to keep the report and its
    // file in, and replays the report with the terminal tool.
    const test::ScratchDir scratch;
    const char* kept = std::getenv("TARVANE_WINDOW_REPORT_DIR");
    const std::filesystem::path folder = kept != nullptr ? pathFromUtf8(kept) : scratch.path();
    const std::filesystem::path hexFile = folder / L"Tarvane_Interface_Board_test.hex";
    std::ofstream(hexFile, std::ios::binary)
        << test::generateHex({{test::kGenImageBase, test::patternBytes(600, 7)}}).text;
    const std::filesystem::path reportFile = folder / L"report.txt";

    std::vector<std::string> suggested;
    std::optional<std::string> savePath;
    view->setSaveDialogHook([&](const std::string& name) {
        suggested.push_back(name);
        return savePath;
    });
    HMENU system = GetSystemMenu(window, FALSE);
    const auto systemItemEnabled = [&] {
        SendMessageW(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(system), MAKELPARAM(0, TRUE));
        return (GetMenuState(system, kSaveReportCommand, MF_BYCOMMAND) & MF_GRAYED) == 0;
    };
    wchar_t label[64]{};
    GetMenuStringW(system, kSaveReportCommand, label, 64, MF_BYCOMMAND);
    EXPECT_EQ(std::wstring(label), L"Save support report\u2026");

    // Before any update there is nothing to report: greyed, and a command
    // that arrives anyway asks for no file.
    click(IDC_INTERFACE_BOARD);
    EXPECT_FALSE(systemItemEnabled());
    const std::vector<std::pair<std::wstring, bool>> before = logContextMenu(false);
    ASSERT_EQ(before.size(), 4u);
    EXPECT_EQ(before[3], std::make_pair(std::wstring(L"Save support report\u2026"), false));
    SendMessageW(window, WM_SYSCOMMAND, kSaveReportCommand, 0);
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(kSaveReportCommand, 0), 0);
    EXPECT_TRUE(suggested.empty());

    // A board that never answers the erase.
    SimFaults faults;
    faults.silent = {CMD_ERASE};
    setSimulatedBoardOpener(simulatedBoardOpener(std::make_shared<SimulatedBoard>(faults)));
    ASSERT_EQ(useDeviceAddress(view->dialog(), "sim"), "");
    answer = toUtf8(hexFile.wstring());
    click(IDC_BROWSE);
    click(IDC_UPDATE);
    ASSERT_TRUE(pumpUntil([&] { return !view->dialog().updating(); }, std::chrono::seconds(60)))
        << toUtf8(text(IDC_LOG));
    setSimulatedBoardOpener(simulatedBoardOpener());
    ASSERT_NE(text(IDC_LOG).find(L">> No Response from the device!"), std::wstring::npos) << toUtf8(text(IDC_LOG));

    // The system menu's item (the system keeps the command's low bits), with
    // the dialog cancelled; then the log's, chosen as a user chooses it.
    EXPECT_TRUE(systemItemEnabled());
    SendMessageW(window, WM_SYSCOMMAND, kSaveReportCommand | 3, 0);
    ASSERT_EQ(suggested.size(), 1u);
    EXPECT_EQ(suggested[0].rfind("tarvane-report-", 0), 0u);
    savePath = toUtf8(reportFile.wstring());
    const std::vector<std::pair<std::wstring, bool>> after = logContextMenu(true);
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(after[0], std::make_pair(std::wstring(L"&Copy"), false));
    EXPECT_EQ(after[1], std::make_pair(std::wstring(L"Select &All"), true));
    EXPECT_EQ(after[3], std::make_pair(std::wstring(L"Save support report\u2026"), true));
    EXPECT_EQ(suggested.size(), 2u);
    EXPECT_TRUE(boxes.empty());

    ASSERT_TRUE(std::filesystem::exists(reportFile));
    std::ifstream in(reportFile, std::ios::binary);
    const std::string report{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(report.rfind("Tarvane support report\n", 0), 0u) << report;
    for (const char* section : {"\n[Program]\n", "\n[System]\n", "\n[Board]\nboard: Interface board\ndevice: sim\n",
                                "\n[HEX file]\nname: Tarvane_Interface_Board_test.hex\n", "\n[Log]\n", "\n[Trace]\n"})
        EXPECT_NE(report.find(section), std::string::npos) << section;
    // The log section is the window's log, line for line, its CR LF as LF.
    std::string shown = toUtf8(text(IDC_LOG));
    std::erase(shown, '\r');
    const std::size_t logStart = report.find("\n[Log]\n") + 7;
    EXPECT_EQ(report.substr(logStart, report.find("\n[Trace]\n") - logStart), shown);
}

} // namespace
} // namespace tarvane
