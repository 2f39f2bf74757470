// The small pieces at the Windows edge: UTF-8 and UTF-16, the file dialog's
// types, where a minimised window draws its icon, the system's error text,
// and whether two paths name one file.
#include "app/win32/FileDialog.h"
#include "app/win32/IconPaint.h"
#include "report/SameFile.h"
#include "tests/support/HexGen.h"
#include "win32/WideText.h"
#include "win32/Win32Error.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tarvane {
namespace {

TEST(WideTextTest, RoundTripsEveryPlaneAndReplacesBrokenSequences) {
    // "micro–B" with its en dash, a letter with a diaeresis and one outside the BMP.
    const std::string utf8 = "micro\xE2\x80\x93" "B \xC3\xBC \xF0\x9F\x94\xA7";
    const std::wstring wide = toWide(utf8);
    EXPECT_EQ(wide, L"micro\u2013B \u00FC \U0001F527");
    EXPECT_EQ(toUtf8(wide), utf8);
    EXPECT_EQ(toWide(""), L"");
    EXPECT_EQ(toUtf8(L""), "");
    // A stray continuation byte is not lost silently: it reads as U+FFFD.
    EXPECT_EQ(toWide("a\x80z"), L"a\uFFFDz");
}

TEST(FileTypesTest, SplitsTheFilterIntoNamePatternPairsInOrder) {
    const auto types = fileTypes("Interface HEX Files (*.hex)|*Interface_Board*.hex|All Files (*.*)|*.*|");
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(types[0].first, L"Interface HEX Files (*.hex)");
    EXPECT_EQ(types[0].second, L"*Interface_Board*.hex");
    EXPECT_EQ(types[1].first, L"All Files (*.*)");
    EXPECT_EQ(types[1].second, L"*.*");
    // Without a board only the catch-all entry remains; a dangling name is no entry.
    EXPECT_EQ(fileTypes("All Files (*.*)|*.*|").size(), 1u);
    EXPECT_EQ(fileTypes("Name only|").size(), 0u);
}

TEST(IconPaintTest, CentresTheIconWithSignedTruncatingDivision) {
    EXPECT_EQ(centredIconOrigin(160, 100, 32, 32).x, 64);
    EXPECT_EQ(centredIconOrigin(160, 100, 32, 32).y, 34);
    // The odd pixel goes right and down.
    EXPECT_EQ(centredIconOrigin(33, 33, 32, 32).x, 1);
    EXPECT_EQ(centredIconOrigin(32, 32, 32, 32).x, 0);
    // A client area smaller than the icon: (10 - 32 + 1) / 2 truncates to -10, not -11.
    EXPECT_EQ(centredIconOrigin(10, 10, 32, 32).x, -10);
}

TEST(Win32ErrorTest, NamesTheOperationTheCodeAndTheSystemsWords) {
    const std::string text = win32ErrorText("CreateFileW", 5);
    EXPECT_EQ(text.rfind("CreateFileW: (0x5)", 0), 0u) << text;
    EXPECT_GT(text.size(), std::string("CreateFileW: (0x5)").size()) << "the system's message follows";
    EXPECT_NE(text.back(), '\n');
}

TEST(SameFileTest, ReadsNamesAsWindowsDoesWhetherTheFileExistsOrNot) {
    const test::ScratchDir scratch;
    const std::string hex = (scratch.path() / "Board.hex").string();
    std::ofstream(hex) << ":00000001FF\n";
    // One file: by another case, through "..", and named before it exists.
    EXPECT_TRUE(sameFile(hex, (scratch.path() / "BOARD.HEX").string()));
    EXPECT_TRUE(sameFile(hex, (scratch.path() / "x" / ".." / "board.hex").string()));
    EXPECT_TRUE(sameFile((scratch.path() / "Out.txt").string(), (scratch.path() / "out.TXT").string()));
    EXPECT_FALSE(sameFile(hex, (scratch.path() / "Board.txt").string()));
    EXPECT_FALSE(sameFile(hex, ""));
}

} // namespace
} // namespace tarvane
