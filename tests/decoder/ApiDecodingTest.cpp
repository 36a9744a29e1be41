// Pictures through the interface: delivery and its results, waiting for an
// IDR picture, the output formats, a changed stream, two threads (each
// picture one call late) and three or more (the splitter's path).
#include "ApiTestStreams.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using apitest::Bytes;
using apitest::Decoder;

const char* const kQcif = "baseline/BA_MW_D.264";        // 176 x 144, one slice per picture
const char* const kQcifMd5 = "baseline/BA_MW_D.md5";
const char* const kCif = "baseline/BA1_FT_C.264";        // 352 x 288, several slices per picture
const char* const kCifMd5 = "baseline/BA1_FT_C.md5";

constexpr size_t kQcifI420 = 176 * 144 * 3 / 2;
const Bytes kEndOfStream = {0, 0, 0, 1, 0x0B};

// Feeds `count` access units of the QCIF stream, one per call, and checks
// that each call delivers that unit's picture, or from two threads on the
// one before (the first none), and that an end of stream delivers the last.
void ExpectOnePicturePerCall(int threads, size_t count)
{
    const auto aus = apitest::AccessUnits(kQcif, count);
    const auto md5 = apitest::ReferenceMd5(kQcifMd5);
    const size_t late = threads > 1 ? 1 : 0;
    Decoder d(threads, 0);
    Bytes out(kQcifI420);
    ASSERT_EQ(d.Call(aus[0], out.data()), 1);
    for (size_t i = 0; i < aus.size(); ++i) {
        SCOPED_TRACE("access unit " + std::to_string(i));
        if (i < late) {
            ASSERT_EQ(d.Call(aus[i], out.data()), 4);
            EXPECT_EQ(d.Status(), 17);
            continue;
        }
        ASSERT_EQ(d.Call(aus[i], out.data()), 0);
        EXPECT_EQ(apitest::Md5Of(out.data(), out.size()), md5.at(i - late));
    }
    ASSERT_EQ(d.Call(kEndOfStream, out.data()), late ? 0 : 4);
    if (late) {
        EXPECT_EQ(apitest::Md5Of(out.data(), out.size()), md5.at(aus.size() - 1));
    }
    EXPECT_EQ(d.Call(kEndOfStream, out.data()), 4);
}

TEST(ApiDecoding, SpsPpsIdrReturns1ThenAPicture)
{
    const Bytes au = apitest::AccessUnits(kQcif, 1).at(0);
    const auto md5 = apitest::ReferenceMd5(kQcifMd5);
    Decoder d;
    Bytes out(kQcifI420 + 64, 0xEE);
    EXPECT_EQ(d.Call(au, out.data()), 1);
    EXPECT_EQ(d.Status(), 9);
    EXPECT_EQ(d.Call(au, out.data()), 0);
    EXPECT_EQ(d.Status(), 20);
    EXPECT_EQ(apitest::Md5Of(out.data(), kQcifI420), md5.at(0));
    EXPECT_TRUE(std::all_of(out.begin() + kQcifI420, out.end(), [](uint8_t b) { return b == 0xEE; }));
    EXPECT_GT(d.handle.decodeTicks, 0.0);
}

TEST(ApiDecoding, OneAccessUnitPerCallGivesOnePicturePerCall)
{
    ExpectOnePicturePerCall(1, 12);
    ExpectOnePicturePerCall(2, 12);
}

TEST(ApiDecoding, PSliceBeforeTheFirstIdrIsDropped)
{
    const auto aus = apitest::AccessUnits(kQcif, 3);
    Decoder d;
    Bytes out(kQcifI420, 0x5A);
    // Before any parameter set, and after the setup: both wait for the IDR.
    EXPECT_EQ(d.Call(aus[1], out.data()), 4);
    EXPECT_EQ(d.Status(), 8);
    const Bytes parameterSets =
        apitest::Join({apitest::NalUnitOfType(aus[0], 7), apitest::NalUnitOfType(aus[0], 8)});
    ASSERT_EQ(d.Call(parameterSets, out.data()), 1);
    EXPECT_EQ(d.Call(aus[2], out.data()), 4);
    EXPECT_EQ(d.Status(), 8);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0x5A; }));
    EXPECT_EQ(d.Call(aus[0], out.data()), 0);
}

// Expected B,G,R of one pixel by ITU-R BT.601 limited range in 16.16 fixed
// point with rounding (format 3).
void ExpectedBgr(int y, int cb, int cr, uint8_t bgr[3])
{
    auto clamp = [](int v) { return uint8_t(std::min(255, std::max(0, v))); };
    const int luma = 76284 * (y - 16);
    const int u = cb - 128;
    const int v = cr - 128;
    bgr[0] = clamp((luma + 132186 * u + 32768) >> 16);
    bgr[1] = clamp((luma - 25690 * u - 53281 * v + 32768) >> 16);
    bgr[2] = clamp((luma + 104595 * v + 32768) >> 16);
}

TEST(ApiDecoding, Format3IsBgrRowsTopFirstOf304128Bytes)
{
    constexpr int w = 352;
    constexpr int h = 288;
    constexpr size_t bgrSize = size_t(w) * h * 3;
    ASSERT_EQ(bgrSize, 304128u);
    const Bytes au = apitest::AccessUnits(kCif, 1).at(0);

    Decoder yuv(1, 0);
    Bytes i420(size_t(w) * h * 3 / 2);
    ASSERT_EQ(yuv.CallUntilDone(au, i420.data()), 0);
    ASSERT_EQ(apitest::Md5Of(i420.data(), i420.size()), apitest::ReferenceMd5(kCifMd5).at(0));

    // The same picture twice into buffers filled differently: the bytes that
    // differ are the ones the library left alone.
    Decoder bgr(1, 3);
    Bytes first(bgrSize + 4096, 0x00);
    Bytes second(bgrSize + 4096, 0xFF);
    ASSERT_EQ(bgr.CallUntilDone(au, first.data()), 0);
    ASSERT_EQ(bgr.Call(au, second.data()), 0);
    EXPECT_TRUE(std::equal(first.begin(), first.begin() + bgrSize, second.begin()));
    EXPECT_TRUE(std::all_of(first.begin() + bgrSize, first.end(), [](uint8_t b) { return b == 0x00; }));
    EXPECT_TRUE(std::all_of(second.begin() + bgrSize, second.end(), [](uint8_t b) { return b == 0xFF; }));

    const uint8_t* Y = i420.data();
    const uint8_t* Cb = Y + w * h;
    const uint8_t* Cr = Cb + (w / 2) * (h / 2);
    int wrong = 0;
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            uint8_t want[3];
            const int c = (row / 2) * (w / 2) + col / 2;
            ExpectedBgr(Y[row * w + col], Cb[c], Cr[c], want);
            const uint8_t* got = &first[(size_t(row) * w + col) * 3];
            if (!std::equal(want, want + 3, got) && ++wrong <= 5)
                ADD_FAILURE() << "pixel " << col << "," << row << ": got " << int(got[0]) << " " << int(got[1])
                              << " " << int(got[2]) << ", want " << int(want[0]) << " " << int(want[1]) << " "
                              << int(want[2]);
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(bgr.handle.convertTicks, 0.0);
}

TEST(ApiDecoding, OtherFormatsHaveTheirSizes)
{
    const Bytes au = apitest::AccessUnits(kQcif, 1).at(0);
    struct Case {
        int format;
        size_t bytes;
    };
    for (const Case c : {Case{1, 176 * 144 * 2}, Case{2, 176 * 144 * 3}, Case{7, 0}}) {
        SCOPED_TRACE("format " + std::to_string(c.format));
        Decoder d(1, c.format);
        Bytes first(176 * 144 * 3 + 64, 0x00);
        Bytes second(first.size(), 0xFF);
        ASSERT_EQ(d.CallUntilDone(au, first.data()), 0);
        ASSERT_EQ(d.Call(au, second.data()), 0);
        const size_t written =
            size_t(std::mismatch(first.begin(), first.end(), second.begin()).first - first.begin());
        EXPECT_EQ(written, c.bytes);
    }
}

TEST(ApiDecoding, ChangedSpsReturnsMinus5AndANewDecoderTakesTheStream)
{
    const Bytes qcif = apitest::AccessUnits(kQcif, 1).at(0);
    const Bytes cif = apitest::AccessUnits(kCif, 1).at(0);
    Decoder d;
    Bytes out(352 * 288 * 3 / 2);
    ASSERT_EQ(d.CallUntilDone(qcif, out.data()), 0);
    EXPECT_EQ(d.Call(cif, out.data()), -5);
    EXPECT_EQ(d.Status(), 2);
    QL_H264dec_Uninit(&d.handle);
    ASSERT_EQ(QL_H264dec_Init(&d.handle), 0);
    EXPECT_EQ(d.Call(cif, out.data()), 1);
    EXPECT_EQ(d.Call(cif, out.data()), 0);
    EXPECT_EQ(d.handle.codedWidth, 352);
    EXPECT_EQ(apitest::Md5Of(out.data(), out.size()), apitest::ReferenceMd5(kCifMd5).at(0));
}

int SliceCount(const Bytes& accessUnit)
{
    int n = 0;
    for (const Bytes& unit : apitest::NalUnitsOf(accessUnit))
        n += (unit[4] & 0x1F) == 1 || (unit[4] & 0x1F) == 5;
    return n;
}

TEST(ApiDecoding, FourThreadsSplitMultiSliceAccessUnits)
{
    // CI1_FT_B mixes pictures of one, two, four and ten slices.
    const auto aus = apitest::AccessUnits("baseline/CI1_FT_B.264", 24);
    const auto md5 = apitest::ReferenceMd5("baseline/CI1_FT_B.md5");
    Decoder d(4, 0);
    Bytes out(352 * 288 * 3 / 2);
    ASSERT_EQ(d.Call(aus[0], out.data()), 1);
    int split = 0;
    // Each unit gives the picture of the one before.
    ASSERT_EQ(d.Call(aus[0], out.data()), 4);
    EXPECT_EQ(d.Status(), SliceCount(aus[0]) > 1 ? 12 : 17);
    for (size_t i = 1; i < aus.size(); ++i) {
        SCOPED_TRACE("access unit " + std::to_string(i));
        if (SliceCount(aus[i]) > 1) {
            // The splitter holds the unit, a picture comes with result 5,
            // and the repeated call finds the splitter empty.
            ASSERT_EQ(d.Call(aus[i], out.data()), 5);
            EXPECT_EQ(d.Status(), 21);
            EXPECT_EQ(apitest::Md5Of(out.data(), out.size()), md5.at(i - 1));
            EXPECT_EQ(d.Call(aus[i], out.data()), 4);
            EXPECT_EQ(d.Status(), 12);
            ++split;
        } else {
            // A single slice is the whole picture: it is handed over whole.
            ASSERT_EQ(d.Call(aus[i], out.data()), 0);
            EXPECT_EQ(d.Status(), 20);
            EXPECT_EQ(apitest::Md5Of(out.data(), out.size()), md5.at(i - 1));
        }
    }
    ASSERT_EQ(d.Call(kEndOfStream, out.data()), 0);
    EXPECT_EQ(apitest::Md5Of(out.data(), out.size()), md5.at(aus.size() - 1));
    EXPECT_GT(split, 4);
    EXPECT_LT(split, int(aus.size()));
}

// Every start code in its 3-byte form.
Bytes ShortStartCodes(const Bytes& accessUnit)
{
    Bytes out;
    for (const Bytes& unit : apitest::NalUnitsOf(accessUnit))
        out.insert(out.end(), unit.begin() + 1, unit.end());
    return out;
}

// An access unit delimiter first, filler data and an end of sequence unit
// after the slices.
Bytes WithSkippedUnits(const Bytes& accessUnit)
{
    Bytes out = {0, 0, 0, 1, 0x09, 0xF0};
    out.insert(out.end(), accessUnit.begin(), accessUnit.end());
    for (const uint8_t b : {0, 0, 1, 0x0C, 0xFF, 0xFF, 0x80, 0, 0, 0, 1, 0x0A})
        out.push_back(b);
    return out;
}

// The results, statuses and pictures of a stream fed one access unit per
// call (twice for the first, which only sets the decoder up), then the end
// of the stream.
struct FeedRun {
    std::vector<int32_t> results;
    std::vector<int32_t> statuses;
    std::vector<std::string> pictures;
};

FeedRun Feed(const std::vector<Bytes>& units, int threads, size_t pictureBytes)
{
    FeedRun run;
    Decoder d(threads, 0);
    Bytes out(pictureBytes);
    for (size_t i = 0; i < units.size(); ++i) {
        for (int call = 0; call < (i == 0 ? 2 : 1) + 2; ++call) {
            const int32_t r = d.Call(units[i], out.data());
            run.results.push_back(r);
            run.statuses.push_back(d.Status());
            if (r == 0 || r == 5)
                run.pictures.push_back(apitest::Md5Of(out.data(), out.size()));
            if (r != 1 && r != 5)
                break;
        }
    }
    const int32_t r = d.Call(kEndOfStream, out.data());
    run.results.push_back(r);
    run.statuses.push_back(d.Status());
    if (r == 0)
        run.pictures.push_back(apitest::Md5Of(out.data(), out.size()));
    return run;
}

TEST(ApiDecoding, ThreeByteStartCodesAndSkippedUnitsDecodeAsTheStreamItself)
{
    const size_t cifI420 = 352 * 288 * 3 / 2;
    const auto aus = apitest::AccessUnits("baseline/CI1_FT_B.264", 16);
    std::vector<Bytes> shortCodes, skipped, both;
    for (const Bytes& au : aus) {
        shortCodes.push_back(ShortStartCodes(au));
        skipped.push_back(WithSkippedUnits(au));
        both.push_back(ShortStartCodes(WithSkippedUnits(au)));
    }
    for (const int threads : {1, 4}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        const FeedRun reference = Feed(aus, threads, cifI420);
        ASSERT_EQ(reference.pictures.size(), aus.size());
        // The same results, statuses and pictures with 3-byte start codes;
        // with the units the decoder skips, the same pictures.
        const FeedRun withShort = Feed(shortCodes, threads, cifI420);
        EXPECT_EQ(withShort.results, reference.results);
        EXPECT_EQ(withShort.statuses, reference.statuses);
        EXPECT_EQ(withShort.pictures, reference.pictures);
        EXPECT_EQ(Feed(skipped, threads, cifI420).pictures, reference.pictures);
        EXPECT_EQ(Feed(both, threads, cifI420).pictures, reference.pictures);
    }
    // A delimiter alone is nothing to decode; a set after a 3-byte start
    // code is the same set as after a 4-byte one (no new stream).
    Decoder d(1, 0);
    Bytes out(cifI420);
    EXPECT_EQ(d.Call({0, 0, 0, 1, 0x09, 0xF0}, out.data()), 4);
    EXPECT_EQ(d.Call(aus[0], out.data()), 1);
    EXPECT_EQ(d.Call(shortCodes[0], out.data()), 0);
}

TEST(ApiDecoding, FourThreadsWithSingleSliceUnitsHandThemOverWhole)
{
    ExpectOnePicturePerCall(4, 6);
}

TEST(ApiDecoding, FromTwoThreadsTheHeldPictureComesOutBeforeAnErrorOrANewStream)
{
    const auto aus = apitest::AccessUnits(kQcif, 4);
    const auto md5 = apitest::ReferenceMd5(kQcifMd5);
    // The slice of the third picture cut short: the core reports an error
    // and the decoder is reset, but the second picture, decoded one call
    // before, is given out with it, as one thread gave it out then.
    Bytes broken(aus[2].begin(), aus[2].begin() + std::ptrdiff_t(aus[2].size() / 2));
    Decoder d(2, 0);
    Bytes out(kQcifI420);
    ASSERT_EQ(d.Call(aus[0], out.data()), 1);
    ASSERT_EQ(d.Call(aus[0], out.data()), 4);
    ASSERT_EQ(d.Call(aus[1], out.data()), 0);
    EXPECT_EQ(apitest::Md5Of(out.data(), out.size()), md5.at(0));
    ASSERT_EQ(d.Call(broken, out.data()), 0);
    EXPECT_EQ(d.Status(), 18);
    EXPECT_EQ(apitest::Md5Of(out.data(), out.size()), md5.at(1));
    EXPECT_EQ(d.Call(kEndOfStream, out.data()), 4);

    // A stream that changes (-5): the end of the stream first gives out the
    // last picture of the old one, at its own size.
    const Bytes cif = apitest::AccessUnits(kCif, 1).at(0);
    ASSERT_EQ(d.Call(aus[0], out.data()), 4);
    ASSERT_EQ(d.Call(aus[1], out.data()), 0);
    ASSERT_EQ(d.Call(cif, out.data()), -5);
    Bytes tail(352 * 288 * 3 / 2, 0xEE);
    ASSERT_EQ(d.Call(kEndOfStream, tail.data()), 0);
    EXPECT_EQ(apitest::Md5Of(tail.data(), kQcifI420), md5.at(1));
    EXPECT_TRUE(std::all_of(tail.begin() + kQcifI420, tail.end(), [](uint8_t b) { return b == 0xEE; }));
}

TEST(ApiDecoding, HandlesDecodeIndependently)
{
    const auto qcif = apitest::AccessUnits(kQcif, 4);
    const auto cif = apitest::AccessUnits(kCif, 4);
    const auto qcifMd5 = apitest::ReferenceMd5(kQcifMd5);
    const auto cifMd5 = apitest::ReferenceMd5(kCifMd5);
    Decoder a;
    Decoder b;
    Bytes outA(kQcifI420);
    Bytes outB(352 * 288 * 3 / 2);
    ASSERT_EQ(a.Call(qcif[0], outA.data()), 1);
    ASSERT_EQ(b.Call(cif[0], outB.data()), 1);
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_EQ(a.Call(qcif[i], outA.data()), 0);
        ASSERT_EQ(b.Call(cif[i], outB.data()), 0);
        EXPECT_EQ(apitest::Md5Of(outA.data(), outA.size()), qcifMd5.at(i));
        EXPECT_EQ(apitest::Md5Of(outB.data(), outB.size()), cifMd5.at(i));
    }
}

} // namespace
