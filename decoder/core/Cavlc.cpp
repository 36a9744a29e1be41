// CAVLC residual block parsing, ITU-T H.264 clause 9.2.
//
// The code tables are written below as the codeword strings of Tables 9-5,
// 9-7, 9-8, 9-9a and 9-10, so that they can be checked against the printed
// tables line by line. At compile time each table becomes a small array
// indexed by the number of leading zeros and the few bits after the first 1,
// so a codeword costs one count-leading-zeros and one load, with no bit loop
// (run_before, read once per coefficient, indexes by its next 3 bits alone).
// Overlapping codewords, or a codeword space other than what the standard
// leaves unused, fail the build.
#include "Cavlc.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace QLMedia {
namespace {

using Row = std::string_view[4];

// Table 9-5, indexed [TotalCoeff][TrailingOnes]; "" where TrailingOnes > TotalCoeff.
constexpr Row kCoeffToken0To2[17] = { // 0 <= nC < 2
    { "1" },
    { "000101", "01" },
    { "00000111", "000100", "001" },
    { "000000111", "00000110", "0000101", "00011" },
    { "0000000111", "000000110", "00000101", "000011" },
    { "00000000111", "0000000110", "000000101", "0000100" },
    { "0000000001111", "00000000110", "0000000101", "00000100" },
    { "0000000001011", "0000000001110", "00000000101", "000000100" },
    { "0000000001000", "0000000001010", "0000000001101", "0000000100" },
    { "00000000001111", "00000000001110", "0000000001001", "00000000100" },
    { "00000000001011", "00000000001010", "00000000001101", "0000000001100" },
    { "000000000001111", "000000000001110", "00000000001001", "00000000001100" },
    { "000000000001011", "000000000001010", "000000000001101", "00000000001000" },
    { "0000000000001111", "000000000000001", "000000000001001", "000000000001100" },
    { "0000000000001011", "0000000000001110", "0000000000001101", "000000000001000" },
    { "0000000000000111", "0000000000001010", "0000000000001001", "0000000000001100" },
    { "0000000000000100", "0000000000000110", "0000000000000101", "0000000000001000" },
};

constexpr Row kCoeffToken2To4[17] = { // 2 <= nC < 4
    { "11" },
    { "001011", "10" },
    { "000111", "00111", "011" },
    { "0000111", "001010", "001001", "0101" },
    { "00000111", "000110", "000101", "0100" },
    { "00000100", "0000110", "0000101", "00110" },
    { "000000111", "00000110", "00000101", "001000" },
    { "00000001111", "000000110", "000000101", "000100" },
    { "00000001011", "00000001110", "00000001101", "0000100" },
    { "000000001111", "00000001010", "00000001001", "000000100" },
    { "000000001011", "000000001110", "000000001101", "00000001100" },
    { "000000001000", "000000001010", "000000001001", "00000001000" },
    { "0000000001111", "0000000001110", "0000000001101", "000000001100" },
    { "0000000001011", "0000000001010", "0000000001001", "0000000001100" },
    { "0000000000111", "00000000001011", "0000000000110", "0000000001000" },
    { "00000000001001", "00000000001000", "00000000001010", "0000000000001" },
    { "00000000000111", "00000000000110", "00000000000101", "00000000000100" },
};

constexpr Row kCoeffToken4To8[17] = { // 4 <= nC < 8
    { "1111" },
    { "001111", "1110" },
    { "001011", "01111", "1101" },
    { "001000", "01100", "01110", "1100" },
    { "0001111", "01010", "01011", "1011" },
    { "0001011", "01000", "01001", "1010" },
    { "0001001", "001110", "001101", "1001" },
    { "0001000", "001010", "001001", "1000" },
    { "00001111", "0001110", "0001101", "01101" },
    { "00001011", "00001110", "0001010", "001100" },
    { "000001111", "00001010", "00001101", "0001100" },
    { "000001011", "000001110", "00001001", "00001100" },
    { "000001000", "000001010", "000001101", "00001000" },
    { "0000001101", "000000111", "000001001", "000001100" },
    { "0000001001", "0000001100", "0000001011", "0000001010" },
    { "0000000101", "0000001000", "0000000111", "0000000110" },
    { "0000000001", "0000000100", "0000000011", "0000000010" },
};

constexpr Row kCoeffTokenChromaDc[5] = { // nC == -1
    { "01" },
    { "000111", "1" },
    { "000100", "000110", "001" },
    { "000011", "0000011", "0000010", "000101" },
    { "000010", "00000011", "00000010", "0000000" },
};

// Tables 9-7 and 9-8, one line per tzVlcIndex (= TotalCoeff), indexed by total_zeros.
using List = std::string_view[16];
constexpr List kTotalZeros4x4[15] = {
    { "1", "011", "010", "0011", "0010", "00011", "00010", "000011", "000010", "0000011", "0000010",
      "00000011", "00000010", "000000011", "000000010", "000000001" },
    { "111", "110", "101", "100", "011", "0101", "0100", "0011", "0010", "00011", "00010", "000011",
      "000010", "000001", "000000" },
    { "0101", "111", "110", "101", "0100", "0011", "100", "011", "0010", "00011", "00010", "000001",
      "00001", "000000" },
    { "00011", "111", "0101", "0100", "110", "101", "100", "0011", "011", "0010", "00010", "00001",
      "00000" },
    { "0101", "0100", "0011", "111", "110", "101", "100", "011", "0010", "00001", "0001", "00000" },
    { "000001", "00001", "111", "110", "101", "100", "011", "010", "0001", "001", "000000" },
    { "000001", "00001", "101", "100", "011", "11", "010", "0001", "001", "000000" },
    { "000001", "0001", "00001", "011", "11", "10", "010", "001", "000000" },
    { "000001", "000000", "0001", "11", "10", "001", "01", "00001" },
    { "00001", "00000", "001", "11", "10", "01", "0001" },
    { "0000", "0001", "001", "010", "1", "011" },
    { "0000", "0001", "01", "1", "001" },
    { "000", "001", "1", "01" },
    { "00", "01", "1" },
    { "0", "1" },
};

// Table 9-9a (4:2:0 chroma DC), one line per tzVlcIndex 1..3.
constexpr List kTotalZerosChromaDc[3] = {
    { "1", "01", "001", "000" },
    { "1", "01", "00" },
    { "1", "0" },
};

// Table 9-10, one line per zerosLeft 1..6 and > 6, indexed by run_before.
constexpr List kRunBefore[7] = {
    { "1", "0" },
    { "1", "01", "00" },
    { "11", "10", "01", "00" },
    { "11", "10", "01", "001", "000" },
    { "11", "10", "011", "010", "001", "000" },
    { "11", "000", "001", "011", "010", "101", "100" },
    { "111", "110", "101", "100", "011", "010", "001", "0001", "00001", "000001", "0000001",
      "00000001", "000000001", "0000000001", "00000000001" },
};

// ---- Compile-time lookup construction --------------------------------------

struct VlcEntry {
    uint8_t len; // 0: no codeword starts with these bits
    uint8_t value;
};

// Calls f(code, value) for every codeword; coeff_token values are
// TotalCoeff << 2 | TrailingOnes, the others the list index.
template <size_t R>
constexpr void ForEachCode(const Row (&rows)[R], auto f)
{
    for (size_t tc = 0; tc < R; ++tc)
        for (int t1 = 0; t1 < 4; ++t1)
            if (!rows[tc][t1].empty())
                f(rows[tc][t1], int(tc << 2) | t1);
}

constexpr void ForEachCode(const List& list, auto f)
{
    for (int i = 0; i < 16; ++i)
        if (!list[i].empty())
            f(list[i], i);
}

constexpr int LeadingZeros(std::string_view code)
{
    return int(std::min(code.find('1'), code.size()));
}

// A table indexed by (lz << S) | t: lz the leading zeros of the next MaxLen
// bits (MaxLen when all are zero), t the S bits after the first 1. Every
// codeword occupies the slots whose bits start with it, so one load decodes
// it. MaxLen and S are shared by a family of tables (the longest codeword and
// the longest tail after the first 1 among them) so that selecting a table is
// plain address arithmetic.
template <int MaxLen, int S>
struct Lut {
    VlcEntry entry[(MaxLen + 1) << S];
};

template <int MaxLen, int S>
constexpr Lut<MaxLen, S> BuildLut(const auto& src)
{
    Lut<MaxLen, S> t {};
    auto set = [&](int index, int len, int value) {
        if (t.entry[index].len != 0)
            throw "one codeword is a prefix of another";
        t.entry[index] = { uint8_t(len), uint8_t(value) };
    };
    ForEachCode(src, [&](std::string_view c, int value) {
        const int len = int(c.size());
        const int z = LeadingZeros(c);
        if (len == 0 || len > MaxLen || len - z - 1 > S || c.find_first_not_of("01") != std::string_view::npos)
            throw "codeword does not fit the table shape";
        if (z == len) {
            // All zeros: every window with at least len leading zeros is this codeword.
            for (int g = z; g <= MaxLen; ++g)
                for (int k = 0; k < (1 << S); ++k)
                    set((g << S) | k, len, value);
            return;
        }
        int tail = 0;
        for (int i = z + 1; i < len; ++i)
            tail = tail << 1 | (c[i] - '0');
        const int spare = S - (len - z - 1); // bits beyond this codeword
        for (int k = 0; k < (1 << spare); ++k)
            set((z << S) | (tail << spare) | k, len, value);
    });
    return t;
}

// Unused codeword space, as the length of the one codeword that would fill it
// (0 when the code is complete, -1 when the gap is not a single codeword).
constexpr int UnusedCodewordLength(const auto& src)
{
    constexpr int kLen = 16;
    long used = 0;
    ForEachCode(src, [&](std::string_view c, int) { used += 1L << (kLen - int(c.size())); });
    const long gap = (1L << kLen) - used;
    for (int len = 0; len <= kLen; ++len)
        if (gap == (len == 0 ? 0 : 1L << (kLen - len)))
            return len;
    return -1;
}

// The only codewords the standard leaves unused: 15 zeros, 13 zeros, 10 zeros
// (coeff_token), 9 zeros (total_zeros, TotalCoeff 1), 11 zeros (run_before, zerosLeft > 6).
static_assert(UnusedCodewordLength(kCoeffToken0To2) == 15);
static_assert(UnusedCodewordLength(kCoeffToken2To4) == 13);
static_assert(UnusedCodewordLength(kCoeffToken4To8) == 10);
static_assert(UnusedCodewordLength(kCoeffTokenChromaDc) == 0);
static_assert(UnusedCodewordLength(kTotalZeros4x4[0]) == 9);
static_assert(UnusedCodewordLength(kRunBefore[6]) == 11);
static_assert([] {
    for (int i = 1; i < 15; ++i)
        if (UnusedCodewordLength(kTotalZeros4x4[i]) != 0)
            return false;
    for (int i = 0; i < 3; ++i)
        if (UnusedCodewordLength(kTotalZerosChromaDc[i]) != 0)
            return false;
    for (int i = 0; i < 6; ++i)
        if (UnusedCodewordLength(kRunBefore[i]) != 0)
            return false;
    return true;
}());

template <int MaxLen, int S, size_t N>
constexpr std::array<Lut<MaxLen, S>, N> BuildLuts(const List (&lists)[N])
{
    std::array<Lut<MaxLen, S>, N> out {};
    for (size_t i = 0; i < N; ++i)
        out[i] = BuildLut<MaxLen, S>(lists[i]);
    return out;
}

constexpr Lut<16, 3> kCoeffTokenLut[4] = {
    BuildLut<16, 3>(kCoeffTokenChromaDc),
    BuildLut<16, 3>(kCoeffToken0To2),
    BuildLut<16, 3>(kCoeffToken2To4),
    BuildLut<16, 3>(kCoeffToken4To8),
};
constexpr uint8_t kCoeffTokenLutForNc[9] = { 0, 1, 1, 2, 2, 3, 3, 3, 3 }; // [nC + 1], nC -1..7
constexpr auto kTotalZeros4x4Lut = BuildLuts<9, 2>(kTotalZeros4x4);
constexpr auto kTotalZerosChromaDcLut = BuildLuts<3, 0>(kTotalZerosChromaDc);
constexpr auto kRunBeforeLut = BuildLuts<11, 2>(kRunBefore);

// run_before is read once per coefficient, one after another, so its lookup
// skips the leading-zero count: the next 3 bits index a row, per zerosLeft
// (0..6, and 7 for more), holding every codeword of up to 3 bits. Row 0 reads
// nothing and gives run 0, so the run loop need not stop when the zeros run
// out. Only zerosLeft > 6 has longer codewords, marked kLongRun here and read
// through kRunBeforeLut.
struct ShortLut {
    VlcEntry entry[8];
};
constexpr uint8_t kLongRun = 0xFF;

constexpr std::array<ShortLut, 8> BuildRunBeforeShort()
{
    std::array<ShortLut, 8> out {};
    for (int z = 1; z <= 7; ++z) {
        for (VlcEntry& e : out[z].entry)
            e = { 0, kLongRun };
        ForEachCode(kRunBefore[z - 1], [&](std::string_view c, int value) {
            const int len = int(c.size());
            if (len > 3)
                return;
            int bits = 0;
            for (char b : c)
                bits = bits << 1 | (b - '0');
            for (int k = 0; k < (1 << (3 - len)); ++k)
                out[z].entry[(bits << (3 - len)) | k] = { uint8_t(len), uint8_t(value) };
        });
    }
    return out;
}
constexpr auto kRunBeforeShort = BuildRunBeforeShort();
// The run loop relies on this: rows 1..6 are complete and every run in a row
// is at most its zerosLeft, so only the long codewords need a range check.
static_assert([] {
    for (int z = 0; z <= 7; ++z)
        for (const VlcEntry& e : kRunBeforeShort[z].entry)
            if (e.value == kLongRun ? z < 7 : e.value > z || (z == 0) != (e.len == 0))
                return false;
    return true;
}());

// The top n (0..31) bits of w; the split shift avoids shifting by 32 when n is 0.
inline uint32_t TopBits(uint32_t w, int n)
{
    return w >> 1 >> (31 - n);
}

// Leading zeros of w, 31 for 0 (w | 1 spares the zero test).
inline int LeadingZeros31(uint32_t w)
{
    return __builtin_clz(w | 1);
}

// The entry of the codeword at the top of bits in a Lut<MaxLen, S>; len 0
// when none matches.
template <int MaxLen, int S>
inline VlcEntry Lookup(uint32_t bits, const Lut<MaxLen, S>& lut)
{
    static_assert(MaxLen + 1 + S <= 32, "the tail must stay inside 32 bits");
    const int lz = std::min(LeadingZeros31(bits), MaxLen);
    const uint32_t tail = TopBits(bits << lz << 1, S);
    return lut.entry[(lz << S) | tail];
}

// Decodes one codeword of a Lut<MaxLen, S>; -1 when none matches.
template <int MaxLen, int S>
inline int ReadVlc(BitReader& br, const Lut<MaxLen, S>& lut)
{
    const VlcEntry e = Lookup(br.Peek32(), lut);
    if (e.len == 0)
        return -1;
    br.SkipPeeked(e.len);
    return e.value;
}

// Baseline, Main and Extended streams keep level_prefix <= 15 (clause 9.2.2.1),
// so a level (level_prefix and its 1, level_suffix of at most 12 bits) fits
// the 32 bits of one Peek32().
constexpr int kMaxLevelPrefix = 15;
static_assert(kMaxLevelPrefix + 1 + 12 <= 32);

// The block after the argument checks and the zero fill.
inline int ReadBlock(BitReader& br, int nC, int maxNumCoeff, const uint8_t* scan, int16_t* coeff)
{
    // coeff_token (9.2.1), and in the same 32 bits (coeff_token <= 16 bits)
    // the up to 3 trailing_ones_sign_flags.
    const uint32_t head = br.Peek32();
    int totalCoeff;
    int trailingOnes;
    int tokenLength;
    if (nC >= 8) {
        // 6-bit fixed length: TotalCoeff - 1 in 4 bits, TrailingOnes in 2; 000011 is TotalCoeff 0.
        const int v = int(head >> 26);
        totalCoeff = v == 3 ? 0 : (v >> 2) + 1;
        trailingOnes = v == 3 ? 0 : v & 3;
        tokenLength = 6;
        if (trailingOnes > totalCoeff)
            return -1;
    } else {
        const VlcEntry e = Lookup(head, kCoeffTokenLut[kCoeffTokenLutForNc[nC + 1]]);
        if (e.len == 0)
            return -1;
        totalCoeff = e.value >> 2;
        trailingOnes = e.value & 3;
        tokenLength = e.len;
    }
    if (totalCoeff > maxNumCoeff)
        return -1;
    br.SkipPeeked(tokenLength + trailingOnes);
    if (totalCoeff == 0)
        return 0;

    // Levels (9.2.2), highest frequency first.
    // Three sign flags are taken whatever TrailingOnes is (no loop to
    // mispredict); the level loop overwrites the extra ones.
    int level[16];
    const uint32_t signs = head << tokenLength;
    level[0] = 1 - int((signs >> 30) & 2);
    level[1] = 1 - int((signs >> 29) & 2);
    level[2] = 1 - int((signs >> 28) & 2);

    int suffixLength = (totalCoeff > 10 && trailingOnes < 3) ? 1 : 0;
    // With fewer than 3 trailing ones the first other level cannot be +-1,
    // so its levelCode is coded two lower.
    int firstLevelBonus = trailingOnes < 3 ? 2 : 0;
    for (int i = trailingOnes; i < totalCoeff; ++i) {
        const uint32_t bits = br.Peek32();
        const int prefix = LeadingZeros31(bits);
        if (prefix > kMaxLevelPrefix)
            return -1;
        int suffixSize = suffixLength;
        int levelCode = prefix << suffixLength;
        if (prefix >= 14) [[unlikely]] {
            // The escapes: with suffixLength 0, prefix 14 takes a 4-bit
            // suffix and prefix 15 a 12-bit one on top of 15; with a longer
            // suffixLength, prefix 15 takes a 12-bit suffix.
            if (suffixLength == 0) {
                suffixSize = prefix == 14 ? 4 : 12;
                levelCode += prefix == 15 ? 15 : 0;
            } else if (prefix == 15) {
                suffixSize = 12;
            }
        }
        levelCode += int(TopBits(bits << prefix << 1, suffixSize));
        br.SkipPeeked(prefix + 1 + suffixSize);

        levelCode += firstLevelBonus;
        firstLevelBonus = 0;
        // Even levelCode 2k is k + 1, odd 2k + 1 is -(k + 1).
        const int magnitude = (levelCode >> 1) + 1;
        const int negative = -(levelCode & 1);
        level[i] = (magnitude ^ negative) - negative;

        suffixLength += suffixLength == 0;
        suffixLength += magnitude > (3 << (suffixLength - 1)) && suffixLength < 6;
    }

    // total_zeros (9.2.3); tzVlcIndex = TotalCoeff.
    int zerosLeft = 0;
    if (totalCoeff < maxNumCoeff) {
        zerosLeft = maxNumCoeff == 4 ? ReadVlc(br, kTotalZerosChromaDcLut[totalCoeff - 1])
                                     : ReadVlc(br, kTotalZeros4x4Lut[totalCoeff - 1]);
        if (zerosLeft < 0 || zerosLeft > maxNumCoeff - totalCoeff)
            return -1;
    }

    // run_before (9.2.4), placing the coefficients from the top down: the
    // first at TotalCoeff - 1 + total_zeros (<= maxNumCoeff - 1), each next one
    // run_before + 1 lower, the last one on the zeros left (>= 0).
    int coeffNum = totalCoeff - 1 + zerosLeft;
    for (int i = 0; i < totalCoeff - 1; ++i) {
        coeff[scan[coeffNum]] = int16_t(level[i]);
        const VlcEntry e = kRunBeforeShort[std::min(zerosLeft, 7)].entry[br.Peek32() >> 29];
        int run = e.value;
        br.SkipPeeked(e.len);
        if (run == kLongRun) [[unlikely]] {
            run = ReadVlc(br, kRunBeforeLut[6]);
            if (run < 0 || run > zerosLeft)
                return -1;
        }
        zerosLeft -= run;
        coeffNum -= run + 1;
    }
    coeff[scan[coeffNum]] = int16_t(level[totalCoeff - 1]);
    return totalCoeff;
}

} // namespace

int ReadResidualBlockCavlc(BitReader& br, int nC, int maxNumCoeff, const uint8_t* scan, int16_t* coeff)
{
    if (nC == -1 ? maxNumCoeff != 4 : (nC < 0 || (maxNumCoeff != 15 && maxNumCoeff != 16)))
        return -1;
    std::memset(coeff, 0, 16 * sizeof *coeff);
    // The block is read through a copy of the reader so that its cache stays
    // in registers rather than being stored back after every codeword.
    BitReader local = br;
    const int totalCoeff = ReadBlock(local, nC, maxNumCoeff, scan, coeff);
    br = local;
    // A block that ran past the end is not a block: leave zeros as for any failure.
    if (totalCoeff < 0 || br.Error()) [[unlikely]] {
        std::memset(coeff, 0, 16 * sizeof *coeff);
        return -1;
    }
    return totalCoeff;
}

} // namespace QLMedia
