#include "firmware/HexFile.h"
#include "tests/support/HexGen.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <fstream>
#include <thread>

namespace tarvane {
namespace {

TEST(HexFile, ReadOnceWithinItsLimit) {
    test::ScratchDir dir;
    const auto generated = test::generateHex({{0x1D000000, test::patternBytes(3000, 4)}});
    const VerifyRange expected{generated.expected.start, generated.expected.length, generated.expected.crc};
    // Bytes after the Ctrl-Z are the file's, though not its text's.
    const std::string text = generated.text + "\x1A" + std::string(200, 'x');
    const std::string path = dir.write("board.hex", text);
    const auto file = loadHexFile(path);
    EXPECT_TRUE(file->check.ok) << file->check.describe();
    EXPECT_EQ(*file->bytes, text);
    EXPECT_EQ(file->check.range, expected);
    EXPECT_TRUE(file->readError.empty());

    // Past the limit the file is refused, not held.
    const auto large = loadHexFile(path, text.size() - 1);
    EXPECT_FALSE(large->check.ok);
    EXPECT_TRUE(large->check.unreadable);
    EXPECT_EQ(large->check.describe(), "cannot read " + path + ": it is larger than " +
                                           std::to_string(text.size() - 1) + " bytes, far more than a board's firmware");
    EXPECT_TRUE(large->bytes->empty());

    // A regular file is read again as it is now.
    dir.write("board.hex", ":00000001FF\n");
    EXPECT_FALSE(reloadHexFile(file)->check.ok);

#ifndef _WIN32
    // A FIFO gives its bytes once: they are kept, never read again.
    const std::string fifo = (dir.path() / "board.fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << generated.text; });
    const auto piped = loadHexFile(fifo);
    writer.join();
    EXPECT_TRUE(piped->check.ok) << piped->check.describe();
    EXPECT_EQ(piped->check.range, expected);
    EXPECT_EQ(reloadHexFile(piped), piped);
#endif
}

} // namespace
} // namespace tarvane
