#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tarvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readRes(const std::string& name) {
    std::ifstream in(std::filesystem::path(TARVANE_RES_DIR) / name, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return Bytes(text.begin(), text.end());
}

// Little-endian, as in every Windows file header; big-endian for PNG chunks.
std::uint32_t le(const Bytes& b, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = (value << 8) | b[at + i];
    return value;
}
std::uint32_t be32(const Bytes& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

struct Bitmap {
    std::string name;
    std::uint32_t width;
    std::uint32_t height;
};

const Bitmap kBitmaps[] = {
    {"board.bmp", 325, 294},         {"board_interface.bmp", 325, 294},
    {"board_display.bmp", 325, 294}, {"device.bmp", 325, 296},
    {"device_access.bmp", 325, 296}, {"note_setup.bmp", 300, 131},
    {"note_ready.bmp", 300, 132},
};

constexpr std::size_t kPixelsAt = 14 + 40;

std::size_t stride(std::uint32_t width) { return (width * 3 + 3) & ~std::size_t{3}; }

TEST(PictureFiles, BitmapsAreUncompressed24BitAtTheirTemplateSizes) {
    for (const auto& expected : kBitmaps) {
        SCOPED_TRACE(expected.name);
        const Bytes file = readRes(expected.name);
        ASSERT_GE(file.size(), kPixelsAt);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(le(file, 2, 4), file.size());
        EXPECT_EQ(le(file, 10, 4), kPixelsAt);
        EXPECT_EQ(le(file, 14, 4), 40u);  // BITMAPINFOHEADER
        EXPECT_EQ(le(file, 18, 4), expected.width);
        EXPECT_EQ(le(file, 22, 4), expected.height);  // positive: rows stored bottom-up
        EXPECT_EQ(le(file, 26, 2), 1u);
        EXPECT_EQ(le(file, 28, 2), 24u);
        EXPECT_EQ(le(file, 30, 4), 0u);  // BI_RGB
        const std::size_t pixels = stride(expected.width) * expected.height;
        EXPECT_EQ(le(file, 34, 4), pixels);
        EXPECT_EQ(file.size(), kPixelsAt + pixels);
    }
}

struct RedMarks {
    std::size_t count = 0;
    double meanX = 0;
    double meanY = 0;
};

// The marks are the only strong red in the pictures, so where they sit tells which
// parts a picture points at.
RedMarks findRed(const std::string& name) {
    const Bytes file = readRes(name);
    RedMarks marks;
    if (file.size() < kPixelsAt) return marks;
    const std::uint32_t width = le(file, 18, 4);
    const std::uint32_t height = le(file, 22, 4);
    if (file.size() < kPixelsAt + stride(width) * height) return marks;
    double sumX = 0;
    double sumY = 0;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::size_t row = kPixelsAt + stride(width) * (height - 1 - y);
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t* bgr = &file[row + std::size_t{x} * 3];
            if (bgr[2] > 190 && bgr[1] < 70 && bgr[0] < 70) {
                ++marks.count;
                sumX += x;
                sumY += y;
            }
        }
    }
    if (marks.count > 0) {
        marks.meanX = sumX / static_cast<double>(marks.count);
        marks.meanY = sumY / static_cast<double>(marks.count);
    }
    return marks;
}

TEST(PictureFiles, MarkedPicturesPointAtTheirOwnParts) {
    for (const char* plain : {"board.bmp", "device.bmp"}) {
        EXPECT_EQ(findRed(plain).count, 0u) << plain;
    }
    // Interface parts (S1, J8) are on the board's left half, Display parts (S2, J3) on
    // its right; swapping the two pictures would send the user to the wrong switch.
    const RedMarks interface = findRed("board_interface.bmp");
    EXPECT_GT(interface.count, 500u);
    EXPECT_LT(interface.meanX, 325 / 2.0);
    const RedMarks display = findRed("board_display.bmp");
    EXPECT_GT(display.count, 500u);
    EXPECT_GT(display.meanX, 325 / 2.0);
    // The Firmware Access cover is at the front panel's lower left.
    const RedMarks access = findRed("device_access.bmp");
    EXPECT_GT(access.count, 500u);
    EXPECT_LT(access.meanX, 325 / 2.0);
    EXPECT_GT(access.meanY, 296 / 2.0);
}

const Bytes kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool startsPng(const Bytes& b, std::size_t at) {
    return b.size() >= at + kPngSignature.size() &&
           std::equal(kPngSignature.begin(), kPngSignature.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

void expectRgbaPng(const Bytes& b, std::size_t at, std::size_t size, std::uint32_t side) {
    ASSERT_GE(size, 33u);
    EXPECT_TRUE(startsPng(b, at));
    EXPECT_EQ(be32(b, at + 12), 0x49484452u);  // IHDR
    EXPECT_EQ(be32(b, at + 16), side);
    EXPECT_EQ(be32(b, at + 20), side);
    EXPECT_EQ(b[at + 24], 8);  // bits per channel
    EXPECT_EQ(b[at + 25], 6);  // colour type RGBA
}

void expectAlphaDib(const Bytes& b, std::size_t at, std::size_t size, std::uint32_t side) {
    const std::size_t colour = std::size_t{side} * side * 4;
    const std::size_t mask = ((side + 31) / 32) * 4 * side;
    ASSERT_EQ(size, 40 + colour + mask);
    EXPECT_EQ(le(b, at, 4), 40u);
    EXPECT_EQ(le(b, at + 4, 4), side);
    EXPECT_EQ(le(b, at + 8, 4), 2 * side);  // colour rows, then the mask's
    EXPECT_EQ(le(b, at + 14, 2), 32u);
    EXPECT_EQ(le(b, at + 16, 4), 0u);
    // A transparent ground around an opaque emblem: the corner is clear, the middle is not.
    const std::size_t pixels = at + 40;
    EXPECT_EQ(b[pixels + 3], 0) << "corner alpha at " << side;
    std::size_t opaque = 0;
    for (std::size_t i = 3; i < colour; i += 4) {
        if (b[pixels + i] == 255) ++opaque;
    }
    EXPECT_GT(opaque, colour / 4 / 4) << side;
}

TEST(PictureFiles, IconHoldsSixSquareSizesWithAlpha) {
    const Bytes file = readRes("tarvane.ico");
    ASSERT_GE(file.size(), 6u);
    EXPECT_EQ(le(file, 0, 2), 0u);
    EXPECT_EQ(le(file, 2, 2), 1u);  // icon, not cursor
    const std::uint32_t count = le(file, 4, 2);
    ASSERT_EQ(count, 6u);
    ASSERT_GE(file.size(), 6 + 16 * std::size_t{count});

    std::vector<std::uint32_t> sides;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = 6 + 16 * i;
        const std::uint32_t width = file[entry] == 0 ? 256 : file[entry];
        const std::uint32_t height = file[entry + 1] == 0 ? 256 : file[entry + 1];
        SCOPED_TRACE(width);
        EXPECT_EQ(width, height);
        EXPECT_EQ(le(file, entry + 4, 2), 1u);   // planes
        EXPECT_EQ(le(file, entry + 6, 2), 32u);  // bits per pixel
        const std::size_t size = le(file, entry + 8, 4);
        const std::size_t offset = le(file, entry + 12, 4);
        ASSERT_LE(offset + size, file.size());
        if (startsPng(file, offset)) {
            expectRgbaPng(file, offset, size, width);
        } else {
            expectAlphaDib(file, offset, size, width);
        }
        sides.push_back(width);
    }
    std::sort(sides.begin(), sides.end());
    EXPECT_EQ(sides, (std::vector<std::uint32_t>{16, 32, 48, 64, 128, 256}));

    const Bytes png = readRes("tarvane.png");
    expectRgbaPng(png, 0, png.size(), 256);
}

}  // namespace
}  // namespace tarvane
