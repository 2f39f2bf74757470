#include "firmware/HexRecord.h"
#include "firmware/HexFile.h"
#include "link/FrameCodec.h"
#include "link/RequestBuilder.h"
#include "tests/support/HexGen.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tarvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string hexLine(std::uint8_t type, std::uint16_t offset, const Bytes& data) {
    Bytes rec{static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(offset >> 8),
              static_cast<std::uint8_t>(offset), type};
    rec.insert(rec.end(), data.begin(), data.end());
    std::uint8_t sum = 0;
    for (auto b : rec) sum = static_cast<std::uint8_t>(sum + b);
    rec.push_back(static_cast<std::uint8_t>(-sum));
    std::string line = ":";
    char buf[3];
    for (auto b : rec) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        line += buf;
    }
    return line + "\n";
}

// Writes a file of `count` data records of `size` bytes each from 0x1D000000, filled with `fill`.
void writeFile(const std::filesystem::path& path, int count, std::size_t size, std::uint8_t fill) {
    std::string text = hexLine(kTypeExtendedLinear, 0, {0x1D, 0x00});
    for (int i = 0; i < count; ++i) {
        text += hexLine(kTypeData, static_cast<std::uint16_t>(static_cast<std::size_t>(i) * size), Bytes(size, fill));
    }
    text += hexLine(kTypeEndOfFile, 0, {});
    std::ofstream(path, std::ios::binary) << text;
}

struct Requests : ::testing::Test {
    test::ScratchDir scratch;
    const std::filesystem::path& dir = scratch.path();
    RequestBuilder builder;
    HexFileReader reader;

    // The payload the worker would send, decoded back from the frame.
    Bytes sentPayload() {
        FrameDecoder<1000> d;
        d.decodeBytes(builder.frame().data(), builder.frame().size());
        EXPECT_TRUE(d.frameComplete());
        const auto frame = d.take();
        return Bytes(frame.begin(), frame.end());
    }

    static std::vector<Bytes> splitRecords(const Bytes& payload) {
        std::vector<Bytes> out;
        for (std::size_t pos = 1; pos < payload.size();) {
            const std::size_t n = kRecordOverhead + payload[pos];
            out.emplace_back(payload.begin() + static_cast<long>(pos), payload.begin() + static_cast<long>(pos + n));
            pos += n;
        }
        return out;
    }

    // Streams the whole file the way the worker chains batches.
    std::vector<std::vector<Bytes>> streamAll() {
        std::vector<std::vector<Bytes>> batches;
        for (bool ok = builder.buildProgramBatch(reader, true); ok; ok = builder.buildProgramBatch(reader, false)) {
            EXPECT_LE(builder.frame().size(), RequestBuilder::kFrameSize);
            batches.push_back(splitRecords(sentPayload()));
        }
        return batches;
    }
};

TEST_F(Requests, SimpleCommandsAndRefusals) {
    for (std::uint8_t command : {CMD_QUERY, CMD_ERASE, CMD_START_APP}) {
        ASSERT_TRUE(builder.buildCommand(command));
        EXPECT_EQ(sentPayload(), Bytes{command});
    }
    for (std::uint8_t bad : {std::uint8_t{0}, CMD_PROGRAM, CMD_VERIFY, std::uint8_t{6}, std::uint8_t{255}}) {
        EXPECT_FALSE(builder.buildCommand(bad));
        EXPECT_TRUE(builder.frame().empty());
    }
    // No file open: nothing to program; an empty range: nothing to verify.
    EXPECT_FALSE(builder.buildProgramBatch(reader, true));
    EXPECT_FALSE(builder.buildVerify(VerifyRange{}));
    EXPECT_TRUE(builder.frame().empty());
}

TEST_F(Requests, BatchesOfElevenRecordsFromWhereTheReaderStands) {
    // 21 data records plus the address and end records: 23 records in all.
    writeFile(dir / "a.hex", 21, 16, 0xAA);
    ASSERT_TRUE(reader.open(loadHexFile((dir / "a.hex").string())->bytes));
    const auto batches = streamAll();
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0].size(), 11u);
    EXPECT_EQ(batches[1].size(), 11u);
    EXPECT_EQ(batches[2].size(), 1u);
    EXPECT_EQ(batches[0][0][kRecordType], kTypeExtendedLinear);
    EXPECT_EQ(batches[2][0][kRecordType], kTypeEndOfFile);
    EXPECT_EQ(reader.linesConsumed(), 23u);

    // A batch from the start starts over from the first line.
    ASSERT_TRUE(builder.buildProgramBatch(reader, true));
    EXPECT_EQ(splitRecords(sentPayload()), batches[0]);
    EXPECT_EQ(reader.linesConsumed(), 11u);
}

TEST_F(Requests, LongRecordsNeverOverflowAndEachIsSentOnceInOrder) {
    // 255 data bytes of DLE: every byte doubles on the wire, the worst case.
    for (std::uint8_t fill : {std::uint8_t{0x10}, std::uint8_t{0x5A}}) {
        writeFile(dir / "long.hex", 40, 255, fill);
        ASSERT_TRUE(reader.open(loadHexFile((dir / "long.hex").string())->bytes));
        const auto batches = streamAll();
        std::vector<Bytes> flat;
        for (const auto& b : batches) {
            EXPECT_GE(b.size(), 1u);
            flat.insert(flat.end(), b.begin(), b.end());
        }
        ASSERT_EQ(flat.size(), 42u);
        for (int i = 0; i < 40; ++i) {
            const Bytes& r = flat[static_cast<std::size_t>(i + 1)];
            ASSERT_EQ(r.size(), 260u);
            EXPECT_EQ(r[kRecordOffsetHigh] << 8 | r[kRecordOffsetLow], i * 255) << "record " << i;
        }
        EXPECT_GT(batches.size(), 40u / 11u + 1u);
    }
}

TEST_F(Requests, VerifyCarriesTheImageRangeLittleEndian) {
    std::string text = hexLine(kTypeExtendedLinear, 0, {0x1D, 0x00}) + hexLine(kTypeData, 0, {1, 2, 3, 4}) +
                       hexLine(kTypeEndOfFile, 0, {});
    std::ofstream(dir / "v.hex", std::ios::binary) << text;
    ASSERT_TRUE(reader.open(loadHexFile((dir / "v.hex").string())->bytes));
    FlashImage image;
    ASSERT_TRUE(builder.buildVerify(loadImage(reader, image)));
    EXPECT_EQ(sentPayload(), (Bytes{0x04, 0x00, 0x00, 0x00, 0x9D, 0x04, 0x00, 0x00, 0x00, 0x03, 0x0D}));
}

} // namespace
} // namespace tarvane
