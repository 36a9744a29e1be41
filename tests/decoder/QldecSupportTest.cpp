// qldec's own reading of streams: MD5, NAL units behind 3- and 4-byte start
// codes, access units, and the cropped picture size from the SPS, checked
// against the conformance manifest.
#include "AnnexB.h"
#include "Md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(QldecMd5, Rfc1321TestSuite)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : cases) {
        SCOPED_TRACE(text);
        const std::string s = text;
        EXPECT_EQ(qldec::Md5Hex(reinterpret_cast<const uint8_t*>(s.data()), s.size()), digest);
        // The same in pieces that straddle the 64-byte blocks.
        qldec::Md5 md5;
        for (size_t i = 0; i < s.size(); i += 7)
            md5.Update(reinterpret_cast<const uint8_t*>(s.data()) + i, std::min<size_t>(7, s.size() - i));
        EXPECT_EQ(md5.HexDigest(), digest);
    }
}

TEST(QldecAnnexB, SplitsAtThreeAndFourByteStartCodes)
{
    const Bytes stream = {0xAA, 0, 0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x68, 0xCE, 0, 0, 0, 0, 1, 0x65, 0x88, 0x80, 0};
    const auto units = qldec::SplitNalUnits(stream.data(), stream.size());
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0].type, 7);
    EXPECT_EQ(units[0].offset, 5u);
    EXPECT_EQ(units[0].size, 2u); // the zero before the next start code is trailing
    EXPECT_EQ(units[1].type, 8);
    EXPECT_EQ(units[1].size, 2u);
    EXPECT_EQ(units[2].type, 5);
    EXPECT_EQ(units[2].size, 3u);
    Bytes au;
    qldec::BuildAccessUnit(stream.data(), units.data(), units.size(), au);
    EXPECT_EQ(au, (Bytes{0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68, 0xCE, 0, 0, 0, 1, 0x65, 0x88, 0x80}));
}

TEST(QldecAnnexB, NewPictureAtFirstMbZeroOrAParameterSetAfterASlice)
{
    // first_mb_in_slice: 0x88 starts with bit 1 (0); 0x40 is "010" (1).
    const Bytes stream = {
        0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x68, 0xCE, // SPS, PPS
        0, 0, 1, 0x65, 0x88, 0, 0, 1, 0x65, 0x40, // IDR slices 0 and 1: one picture
        0, 0, 1, 0x06, 0x05,                      // SEI after a slice: a new access unit
        0, 0, 1, 0x41, 0x9A, 0, 0, 1, 0x41, 0x40, // P slices 0 and 1
        0, 0, 1, 0x41, 0x9A,                      // first_mb 0 again
        0, 0, 1, 0x09, 0xF0, 0, 0, 1, 0x41, 0x9A, // delimiter, slice
    };
    const auto units = qldec::SplitNalUnits(stream.data(), stream.size());
    const auto groups = qldec::GroupAccessUnits(stream.data(), units);
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_EQ(groups[0].count, 4u);
    EXPECT_EQ(groups[1].count, 3u);
    EXPECT_EQ(groups[2].count, 1u);
    EXPECT_EQ(groups[3].count, 2u);
}

struct ManifestRow {
    std::string file;
    int width, height, frames;
};

std::vector<ManifestRow> Manifest()
{
    std::ifstream in(std::string(QL_CONFORMANCE_DIR) + "/baseline/manifest.tsv");
    std::vector<ManifestRow> rows;
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        ManifestRow r;
        std::string md5;
        if (fields >> r.file >> r.width >> r.height >> r.frames >> md5)
            rows.push_back(r);
    }
    return rows;
}

TEST(QldecAnnexB, ConformanceStreamsHaveTheManifestsSizesAndPictureCounts)
{
    const auto rows = Manifest();
    ASSERT_GE(rows.size(), 30u);
    for (const ManifestRow& row : rows) {
        SCOPED_TRACE(row.file);
        std::ifstream file(std::string(QL_CONFORMANCE_DIR) + "/baseline/" + row.file, std::ios::binary);
        const Bytes data{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        ASSERT_FALSE(data.empty());
        const auto units = qldec::SplitNalUnits(data.data(), data.size());
        qldec::SpsPictureSize size;
        bool found = false;
        for (const auto& u : units) {
            if (u.type == 7) {
                found = qldec::ReadSpsPictureSize(data.data() + u.offset, u.size, &size);
                break;
            }
        }
        ASSERT_TRUE(found);
        EXPECT_EQ(size.width, row.width);
        EXPECT_EQ(size.height, row.height);
        EXPECT_EQ(size.profileIdc, 66);
        EXPECT_EQ(qldec::GroupAccessUnits(data.data(), units).size(), size_t(row.frames));
    }
}

TEST(QldecAnnexB, UnreadableSpsIsRejected)
{
    qldec::SpsPictureSize size;
    const Bytes truncated = {0x67, 0x42, 0x00, 0x1e};
    EXPECT_FALSE(qldec::ReadSpsPictureSize(truncated.data(), truncated.size(), &size));
    const Bytes notSps = {0x68, 0xCE, 0x3C, 0x80};
    EXPECT_FALSE(qldec::ReadSpsPictureSize(notSps.data(), notSps.size(), &size));
}

} // namespace
