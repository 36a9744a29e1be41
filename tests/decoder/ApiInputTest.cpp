// The interface's handling of its arguments and of parameter sets: handle
// life, empty and malformed input, the stored SPS and PPS and their limits.
#include "ApiTestStreams.h"

#include <gtest/gtest.h>

namespace {

using apitest::Bytes;
using apitest::Decoder;

const char* const kStream = "baseline/BA_MW_D.264";

Bytes FirstAccessUnit()
{
    return apitest::AccessUnits(kStream, 1).at(0);
}

// A NAL unit grown to total bytes (start code included) with trailing zero
// bytes, which ITU-T H.264 allows after a NAL unit in a byte stream.
Bytes PaddedTo(Bytes unit, size_t total)
{
    unit.resize(total, 0);
    return unit;
}

TEST(ApiHandle, InitCreatesContextAndZeroesTicks)
{
    DecoderHandle h{};
    h.decodeTicks = 12.5;
    h.convertTicks = 7.0;
    ASSERT_EQ(QL_H264dec_Init(&h), 0);
    EXPECT_NE(h.context, nullptr);
    EXPECT_EQ(h.decodeTicks, 0.0);
    EXPECT_EQ(h.convertTicks, 0.0);
    QL_H264dec_Uninit(&h);
    EXPECT_EQ(h.context, nullptr);
}

TEST(ApiHandle, MissingHandleOrContextIsRefused)
{
    EXPECT_EQ(QL_H264dec_Init(nullptr), -1);
    EXPECT_EQ(QL_H264dec_GetLastStatus(nullptr), -1);
    QL_H264dec_Uninit(nullptr);

    DecoderHandle h{};
    const uint8_t bytes[] = {0, 0, 0, 1, 0x65, 0x88};
    EXPECT_EQ(QL_H264dec_GetOneFrame(nullptr, bytes, sizeof bytes, nullptr), -2);
    EXPECT_EQ(QL_H264dec_GetOneFrame(&h, bytes, sizeof bytes, nullptr), -2);
    EXPECT_EQ(QL_H264dec_GetLastStatus(&h), -1);
    QL_H264dec_Uninit(&h); // no context: nothing to do
    EXPECT_EQ(h.context, nullptr);
}

TEST(ApiHandle, UninitThenInitStartsOver)
{
    Decoder d;
    ASSERT_EQ(d.initResult, 0);
    const Bytes au = FirstAccessUnit();
    EXPECT_EQ(d.Call(au, nullptr), 1);
    QL_H264dec_Uninit(&d.handle);
    QL_H264dec_Uninit(&d.handle);
    EXPECT_EQ(QL_H264dec_GetLastStatus(&d.handle), -1);
    ASSERT_EQ(QL_H264dec_Init(&d.handle), 0);
    // A fresh context has no parameter sets: the same input sets up again.
    EXPECT_EQ(d.Call(au, nullptr), 1);
    EXPECT_EQ(d.Status(), 9);
}

TEST(ApiInput, EmptyInputReturnsMinus3WithStatus0)
{
    Decoder d;
    const uint8_t bytes[] = {0, 0, 0, 1, 0x67};
    EXPECT_EQ(QL_H264dec_GetOneFrame(&d.handle, bytes, 0, nullptr), -3);
    EXPECT_EQ(d.Status(), 0);
    EXPECT_EQ(QL_H264dec_GetOneFrame(&d.handle, nullptr, 100, nullptr), -3);
    EXPECT_EQ(d.Status(), 0);
}

TEST(ApiInput, InputWithoutStartCodeShowsNothing)
{
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {
        {"no start code", {0x12, 0x34, 0x56, 0x78, 0x9a}},
        {"start code at the very end", {0x55, 0, 0, 0, 1}},
        {"one byte", {1}},
        {"zeros", Bytes(64, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Decoder d;
        // Heap copies of exact size, so that a read past the end is caught
        // by the address sanitizer build.
        auto* exact = new uint8_t[c.bytes.size()];
        std::copy(c.bytes.begin(), c.bytes.end(), exact);
        EXPECT_EQ(QL_H264dec_GetOneFrame(&d.handle, exact, uint32_t(c.bytes.size()), nullptr), 4);
        EXPECT_EQ(d.Status(), 19);
        delete[] exact;
    }
    // A 3-byte start code is a start code: the SPS behind it is stored as
    // it is behind a 4-byte one.
    Decoder d;
    auto* sps = new uint8_t[7]{0, 0, 1, 0x67, 0x42, 0, 0x1e};
    EXPECT_EQ(QL_H264dec_GetOneFrame(&d.handle, sps, 7, nullptr), 2);
    EXPECT_EQ(d.Status(), 3);
    delete[] sps;
}

TEST(ApiParameterSets, SpsAloneThenPpsAloneSetsUp)
{
    const Bytes au = FirstAccessUnit();
    Decoder d;
    EXPECT_EQ(d.Call(apitest::NalUnitOfType(au, 7), nullptr), 2);
    EXPECT_EQ(d.Status(), 3);
    EXPECT_EQ(d.Call(apitest::NalUnitOfType(au, 8), nullptr), 1);
    EXPECT_EQ(d.Status(), 6);
    EXPECT_EQ(d.handle.profile, 66);
    EXPECT_EQ(d.handle.codedWidth, 176);
    EXPECT_EQ(d.handle.codedHeight, 144);
    EXPECT_GT(d.handle.level, 0);
    // The setup runs once per Init: the same input again is a repeat.
    EXPECT_EQ(d.Call(apitest::NalUnitOfType(au, 8), nullptr), 4);
    EXPECT_EQ(d.Status(), 10);
}

TEST(ApiParameterSets, SpsAndPpsTogetherSetUp)
{
    const Bytes au = FirstAccessUnit();
    const Bytes sps = apitest::NalUnitOfType(au, 7);
    const Bytes pps = apitest::NalUnitOfType(au, 8);
    {
        // The PPS is the last unit of the input: status 6.
        Decoder d;
        EXPECT_EQ(d.Call(apitest::Join({sps, pps}), nullptr), 1);
        EXPECT_EQ(d.Status(), 6);
    }
    {
        // More units follow: status 9.
        Decoder d;
        EXPECT_EQ(d.Call(au, nullptr), 1);
        EXPECT_EQ(d.Status(), 9);
    }
}

TEST(ApiParameterSets, SpsOf255BytesIsStoredAnd256IsRefused)
{
    const Bytes sps = apitest::NalUnitOfType(FirstAccessUnit(), 7);
    {
        Decoder d;
        EXPECT_EQ(d.Call(PaddedTo(sps, 255), nullptr), 2);
        EXPECT_EQ(d.Status(), 3);
    }
    {
        Decoder d;
        EXPECT_EQ(d.Call(PaddedTo(sps, 256), nullptr), -1);
        EXPECT_EQ(d.Status(), 1);
        // Nothing was stored: a normal SPS is still the first one.
        EXPECT_EQ(d.Call(sps, nullptr), 2);
    }
    {
        // The limit holds for an SPS followed by more units, too.
        Decoder d;
        const Bytes pps = apitest::NalUnitOfType(FirstAccessUnit(), 8);
        EXPECT_EQ(d.Call(apitest::Join({PaddedTo(sps, 256), pps}), nullptr), -1);
        EXPECT_EQ(d.Status(), 1);
    }
}

TEST(ApiParameterSets, PpsOf256BytesIsRefused)
{
    const Bytes pps = apitest::NalUnitOfType(FirstAccessUnit(), 8);
    Decoder d;
    EXPECT_EQ(d.Call(PaddedTo(pps, 256), nullptr), -1);
    EXPECT_EQ(d.Status(), 4);
    Decoder e;
    EXPECT_EQ(e.Call(PaddedTo(pps, 255), nullptr), -1); // stored; the setup without SPS fails
    EXPECT_EQ(e.Status(), 6);
}

TEST(ApiParameterSets, SpsDifferingInAnyByteReturnsMinus5)
{
    const Bytes sps = apitest::NalUnitOfType(FirstAccessUnit(), 7);
    for (size_t i = 5; i < sps.size(); ++i) {
        SCOPED_TRACE("byte " + std::to_string(i));
        Decoder d;
        ASSERT_EQ(d.Call(sps, nullptr), 2);
        Bytes changed = sps;
        changed[i] ^= 0x10;
        EXPECT_EQ(d.Call(changed, nullptr), -5);
        EXPECT_EQ(d.Status(), 2);
    }
    Decoder d;
    ASSERT_EQ(d.Call(sps, nullptr), 2);
    EXPECT_EQ(d.Call(sps, nullptr), 4); // equal to the stored one
    EXPECT_EQ(d.Status(), 10);
    // An SPS that ends before the stored length within the input differs.
    EXPECT_EQ(d.Call(Bytes(sps.begin(), sps.end() - 1), nullptr), -5);
}

TEST(ApiParameterSets, ChangedPpsGoesToTheDecoderWithoutAReset)
{
    // A PPS rewritten in the stream (or one with another id) is part of the
    // stream going on; re-creating the decoder for it would lose the
    // reference pictures, so only a changed SPS answers -5.
    const Bytes au = FirstAccessUnit();
    const Bytes pps = apitest::NalUnitOfType(au, 8);
    Decoder d;
    ASSERT_EQ(d.Call(au, nullptr), 1);
    Bytes changed = pps;
    changed.back() ^= 0x01;
    EXPECT_EQ(d.Call(apitest::Join({changed, apitest::NalUnitOfType(au, 5)}), nullptr), 0);
    EXPECT_EQ(d.Status(), 20);
    EXPECT_EQ(d.Call(changed, nullptr), 4);
    EXPECT_EQ(d.Status(), 10);
}

TEST(ApiParameterSets, SeiIsSkippedOrEndsTheCall)
{
    const Bytes sei = {0, 0, 0, 1, 0x06, 0x05, 0x01, 0x00, 0x80};
    Decoder d;
    EXPECT_EQ(d.Call(sei, nullptr), 4);
    EXPECT_EQ(d.Status(), 7);
    // Skipped in front of parameter sets.
    const Bytes au = FirstAccessUnit();
    EXPECT_EQ(d.Call(apitest::Join({sei, au}), nullptr), 1);
    EXPECT_EQ(d.Status(), 9);
}

TEST(ApiParameterSets, StreamsAboveBaselineAreRefusedWithMinus6)
{
    for (const char* name : {"refused/CVPCMNL1_SVA_C.264", "refused/Cisco_Men_whisper_640x320_CAVLC_Bframe_9.264",
                             "refused/QCIF_2P_I_allIPCM.264", "refused/test_qcif_cabac.264",
                             "refused/test_scalinglist_jm.264"}) {
        SCOPED_TRACE(name);
        const Bytes au = apitest::AccessUnits(name, 1).at(0);
        Decoder d;
        EXPECT_EQ(d.Call(au, nullptr), -6);
        EXPECT_EQ(d.Status(), 9);
        EXPECT_GT(d.handle.profile, 66);
        // The decoder stays unset: the same input is refused again.
        EXPECT_EQ(d.Call(au, nullptr), -6);
    }
}

} // namespace
