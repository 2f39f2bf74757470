// The main of every GoogleTest program: like each front end, it offers the
// `sim` device address, so a test can drive a window or a link against it.
#include "sim/SimDevicePort.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    tarvane::registerSimulatedBoardPort();
    return RUN_ALL_TESTS();
}
