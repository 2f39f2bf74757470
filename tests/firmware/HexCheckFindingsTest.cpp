// Files that passed the check although a board would program them where the
// image the update verifies does not hold them; found while fuzzing the check.
#include "firmware/HexCheck.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvane {
namespace {

TEST(HexCheckFindings, RefusesDataWhoseExtendedAddressABoardMayStillApply) {
    const std::string start = ":020000041D00DD\n:0400000001020304F2\n";
    const std::string data = ":040010001122334442\n";
    const std::string eof = ":00000001FF\n";
    // The image clears the base at these records; the board kept 0x1D00 and
    // programmed the data at 0x1D000010, outside the verified range.
    for (const std::string clearing : {":0400000300000000F9\n", ":040000059D0000005A\n", ":00000001FF\n"}) {
        SCOPED_TRACE(clearing);
        const HexCheckResult r = checkHexText(start + clearing + data + eof);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.line, 4u);
        EXPECT_NE(r.reason.find("extended-address record"), std::string::npos) << r.reason;
        // Stated again, the address is the same for both.
        EXPECT_TRUE(checkHexText(start + clearing + ":020000041D00DD\n" + data + eof).ok);
        EXPECT_TRUE(checkHexText(start + clearing + ":020000020000FC\n" + data + eof).ok);
        // Records without data place nothing.
        EXPECT_TRUE(checkHexText(start + clearing + ":00001000F0\n" + eof).ok);
    }
    // With no base in force both readings agree.
    EXPECT_TRUE(checkHexText(":0400000300000000F9\n" + start + data + eof).ok);
}

TEST(HexCheckFindings, RefusesDataOnAnotherViewOfTheProgramFlash) {
    const std::string start = ":020000041D00DD\n:0400000001020304F2\n";
    const std::string eof = ":00000001FF\n";
    // A board programs 0xBD000100 at 0x1D000100; the image ignores it, so
    // the update verified a range without it.
    for (const std::string view : {":02000004BD003D\n:0401000005060708E1\n",   // 0xBD000100
                                   ":020000045D0499\n:0401000005060708E1\n",   // 0xDD040100
                                   ":02000004FD4FAE\n:10FFF0000000000000000000000000000000000001\n",
                                   ":02000004BCFF3F\n:10FFF80000000000000000000000000000000000F9\n"}) {
        SCOPED_TRACE(view);
        const HexCheckResult r = checkHexText(start + view + eof);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.line, 4u);
        EXPECT_NE(r.reason.find("another view of the program flash"), std::string::npos) << r.reason;
    }
    EXPECT_EQ(checkHexText(start + ":02000004BD003D\n:0401000005060708E1\n" + eof).describe(),
              "line 4: the data lies at 0xBD000100, another view of the program flash that is never verified "
              "(place it at 0x1D000000 to 0x1D4FFFFF)");
    // Boot flash and configuration words seen through the same view stay allowed.
    EXPECT_TRUE(checkHexText(start + ":02000004BFC07B\n:0401000005060708E1\n" + eof).ok);
    // Just below the view of the flash.
    EXPECT_TRUE(checkHexText(start + ":02000004BCFF3F\n:10FFF0000000000000000000000000000000000001\n" + eof).ok);
}

} // namespace
} // namespace tarvane
