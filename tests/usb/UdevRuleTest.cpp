// The shipped udev rule: the bootloader's IDs, the seat's user, never everyone.
#include "tests/support/RunProcess.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tarvane {
namespace {

const std::string kRule = TARVANE_SOURCE_DIR "/packaging/70-tarvane-bootloader.rules";

TEST(UdevRule, GrantsTheBootloaderToTheSeatUserOnly) {
    std::ifstream in(kRule);
    ASSERT_TRUE(in) << kRule;
    int rules = 0;
    bool commented = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("#")) {
            commented = commented || line.find("uaccess") != std::string::npos;
            continue;
        }
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        ++rules;
        // udev compares sysfs' lower-case hex; "04D8" would never match.
        EXPECT_NE(line.find("SUBSYSTEM==\"hidraw\""), std::string::npos) << line;
        EXPECT_NE(line.find("ATTRS{idVendor}==\"04d8\""), std::string::npos) << line;
        EXPECT_NE(line.find("ATTRS{idProduct}==\"003c\""), std::string::npos) << line;
        EXPECT_NE(line.find("TAG+=\"uaccess\""), std::string::npos) << line;
        // Access comes from the seat, so no mode at all: never a world-writable node.
        EXPECT_EQ(line.find("MODE"), std::string::npos) << line;
    }
    EXPECT_EQ(rules, 1);
    EXPECT_TRUE(commented) << "the rule says why it uses uaccess";
}

TEST(UdevRule, PassesUdevadmVerifyWhereItExists) {
    // udevadm verify came with systemd 253; older or absent udevadm cannot judge.
    const auto help = test::runProcess("/bin/sh", {"-c", "udevadm verify --help"});
    if (help.exitCode != 0) GTEST_SKIP() << "no udevadm verify on this machine";
    const auto r = test::runProcess("/bin/sh", {"-c", "udevadm verify --resolve-names=never '" + kRule + "'"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

} // namespace
} // namespace tarvane
