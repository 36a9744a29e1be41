// A fault caught inside the frame decoding: "stream.264" holds the recent
// inputs from the most recent IDR access unit on, and the decoder starts
// over at the next IDR picture. The fault is raised by the library's test
// hook QL_H264DEC_TEST_FAULT=N (the N-th frame decoding of a context created
// while it is set).
#include "ApiTestStreams.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace {

using apitest::Bytes;
using apitest::Decoder;

constexpr size_t kSlotSize = 102400;

// Runs the test in a directory of its own, where "stream.264" is written.
class ApiFault : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/ql_api_fault_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    void TearDown() override
    {
        unsetenv("QL_H264DEC_TEST_FAULT");
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
    }

    // A decoder whose n-th frame decoding faults.
    static std::unique_ptr<Decoder> FaultingDecoder(int n, int threads = 1)
    {
        setenv("QL_H264DEC_TEST_FAULT", std::to_string(n).c_str(), 1);
        auto d = std::make_unique<Decoder>(threads, 0);
        unsetenv("QL_H264DEC_TEST_FAULT");
        return d;
    }

    static Bytes Dump()
    {
        std::ifstream file("stream.264", std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::filesystem::path dir_;
    std::filesystem::path previous_;
};

bool StartsWith(const Bytes& whole, const Bytes& prefix)
{
    return whole.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), whole.begin());
}

TEST_F(ApiFault, DumpBeginsWithTheMostRecentIdrAccessUnit)
{
    const auto aus = apitest::AccessUnits("baseline/BA_MW_D.264", 3);
    Bytes out(176 * 144 * 3 / 2);
    // Frame decodings: IDR, P, P, IDR again, P, and the sixth faults.
    auto d = FaultingDecoder(6);
    ASSERT_EQ(d->Call(aus[0], out.data()), 1);
    ASSERT_EQ(d->Call(aus[0], out.data()), 0);
    ASSERT_EQ(d->Call(aus[1], out.data()), 0);
    ASSERT_EQ(d->Call(aus[2], out.data()), 0);
    ASSERT_EQ(d->Call(aus[0], out.data()), 0);
    ASSERT_EQ(d->Call(aus[1], out.data()), 0);
    EXPECT_FALSE(std::filesystem::exists("stream.264"));
    EXPECT_EQ(d->Call(aus[2], out.data()), 4);
    EXPECT_EQ(d->Status(), 15);

    ASSERT_TRUE(std::filesystem::exists("stream.264"));
    EXPECT_TRUE(StartsWith(Dump(), apitest::Join({aus[0], aus[1], aus[2]})));

    // The decoder was reset with the stored parameter sets and waits for an
    // IDR picture.
    EXPECT_EQ(d->Call(aus[1], out.data()), 4);
    EXPECT_EQ(d->Status(), 8);
    EXPECT_EQ(d->Call(aus[0], out.data()), 0);
    EXPECT_EQ(apitest::Md5Of(out.data(), out.size()), apitest::ReferenceMd5("baseline/BA_MW_D.md5").at(0));
}

TEST_F(ApiFault, DumpHoldsTheRingInSlotOrderWithLongInputsTruncated)
{
    // Inputs of every handle share the ring: 29 small ones from one decoder,
    // then a 1080p IDR access unit longer than a slot from another, whose
    // first decoding faults.
    const auto small = apitest::AccessUnits("baseline/BA_MW_D.264", 29);
    const Bytes large = apitest::AccessUnits("baseline/jm_1080p_allslice.264", 1).at(0);
    ASSERT_GT(large.size(), kSlotSize);
    Bytes out(1920 * 1088 * 3 / 2);
    {
        Decoder filler;
        ASSERT_EQ(filler.Call(small[0], out.data()), 1);
        for (const Bytes& au : small)
            ASSERT_EQ(filler.Call(au, out.data()), 0);
    }
    auto d = FaultingDecoder(1);
    ASSERT_EQ(d->Call(large, out.data()), 1);
    EXPECT_EQ(d->Call(large, out.data()), 4);
    EXPECT_EQ(d->Status(), 15);

    Bytes expected(large.begin(), large.begin() + kSlotSize);
    for (const Bytes& au : small)
        expected.insert(expected.end(), au.begin(), au.end());
    const Bytes dump = Dump();
    EXPECT_EQ(dump.size(), expected.size());
    EXPECT_TRUE(dump == expected);
}

TEST_F(ApiFault, FaultWithFourThreadsResetsToo)
{
    const auto aus = apitest::AccessUnits("baseline/BA1_FT_C.264", 3);
    Bytes out(352 * 288 * 3 / 2);
    auto d = FaultingDecoder(2, 4);
    ASSERT_EQ(d->Call(aus[0], out.data()), 1);
    ASSERT_EQ(d->Call(aus[0], out.data()), 4); // its picture comes one call late
    EXPECT_EQ(d->Call(aus[1], out.data()), 4);
    EXPECT_EQ(d->Status(), 15);
    // The repeated call with the IDR access unit became the dump start.
    EXPECT_TRUE(StartsWith(Dump(), apitest::Join({aus[0], aus[1]})));
    // After the reset the next IDR access unit decodes again.
    EXPECT_EQ(d->Call(aus[2], out.data()), 4);
    EXPECT_EQ(d->Status(), 8);
    EXPECT_EQ(d->Call(aus[0], out.data()), 4);
    const int32_t r = d->Call(aus[1], out.data());
    EXPECT_TRUE(r == 0 || r == 5) << r;
}

} // namespace
