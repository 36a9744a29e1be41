// CAVLC residual block parsing (ITU-T H.264 clause 9.2) and the bit reader
// under it.
//
// The decoder builds its lookup tables from one list of codewords; this test
// holds a separate transcription, laid out as the printed Tables 9-5, 9-7,
// 9-8, 9-9a and 9-10 are (one row per TrailingOnes/TotalCoeff, per
// total_zeros, per run_before), and a small encoder over it (levels ->
// codewords). A few blocks worked out by hand tie the encoder to the tables;
// round trips through it then reach every codeword of every table.
#include "BitWriter.h"

#include "core/Cavlc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

using namespace QLMedia;
using QLMedia::test::BitWriter;

namespace {

// ---- Tables in the printed layout ------------------------------------------

struct CoeffTokenRow {
    int trailingOnes;
    int totalCoeff;
    const char* code[5]; // 0<=nC<2, 2<=nC<4, 4<=nC<8, 8<=nC, nC==-1 ("" = none)
};

// Table 9-5.
const CoeffTokenRow kTable9_5[] = {
    { 0, 0, { "1", "11", "1111", "000011", "01" } },
    { 0, 1, { "000101", "001011", "001111", "000000", "000111" } },
    { 1, 1, { "01", "10", "1110", "000001", "1" } },
    { 0, 2, { "00000111", "000111", "001011", "000100", "000100" } },
    { 1, 2, { "000100", "00111", "01111", "000101", "000110" } },
    { 2, 2, { "001", "011", "1101", "000110", "001" } },
    { 0, 3, { "000000111", "0000111", "001000", "001000", "000011" } },
    { 1, 3, { "00000110", "001010", "01100", "001001", "0000011" } },
    { 2, 3, { "0000101", "001001", "01110", "001010", "0000010" } },
    { 3, 3, { "00011", "0101", "1100", "001011", "000101" } },
    { 0, 4, { "0000000111", "00000111", "0001111", "001100", "000010" } },
    { 1, 4, { "000000110", "000110", "01010", "001101", "00000011" } },
    { 2, 4, { "00000101", "000101", "01011", "001110", "00000010" } },
    { 3, 4, { "000011", "0100", "1011", "001111", "0000000" } },
    { 0, 5, { "00000000111", "00000100", "0001011", "010000", "" } },
    { 1, 5, { "0000000110", "0000110", "01000", "010001", "" } },
    { 2, 5, { "000000101", "0000101", "01001", "010010", "" } },
    { 3, 5, { "0000100", "00110", "1010", "010011", "" } },
    { 0, 6, { "0000000001111", "000000111", "0001001", "010100", "" } },
    { 1, 6, { "00000000110", "00000110", "001110", "010101", "" } },
    { 2, 6, { "0000000101", "00000101", "001101", "010110", "" } },
    { 3, 6, { "00000100", "001000", "1001", "010111", "" } },
    { 0, 7, { "0000000001011", "00000001111", "0001000", "011000", "" } },
    { 1, 7, { "0000000001110", "000000110", "001010", "011001", "" } },
    { 2, 7, { "00000000101", "000000101", "001001", "011010", "" } },
    { 3, 7, { "000000100", "000100", "1000", "011011", "" } },
    { 0, 8, { "0000000001000", "00000001011", "00001111", "011100", "" } },
    { 1, 8, { "0000000001010", "00000001110", "0001110", "011101", "" } },
    { 2, 8, { "0000000001101", "00000001101", "0001101", "011110", "" } },
    { 3, 8, { "0000000100", "0000100", "01101", "011111", "" } },
    { 0, 9, { "00000000001111", "000000001111", "00001011", "100000", "" } },
    { 1, 9, { "00000000001110", "00000001010", "00001110", "100001", "" } },
    { 2, 9, { "0000000001001", "00000001001", "0001010", "100010", "" } },
    { 3, 9, { "00000000100", "000000100", "001100", "100011", "" } },
    { 0, 10, { "00000000001011", "000000001011", "000001111", "100100", "" } },
    { 1, 10, { "00000000001010", "000000001110", "00001010", "100101", "" } },
    { 2, 10, { "00000000001101", "000000001101", "00001101", "100110", "" } },
    { 3, 10, { "0000000001100", "00000001100", "0001100", "100111", "" } },
    { 0, 11, { "000000000001111", "000000001000", "000001011", "101000", "" } },
    { 1, 11, { "000000000001110", "000000001010", "000001110", "101001", "" } },
    { 2, 11, { "00000000001001", "000000001001", "00001001", "101010", "" } },
    { 3, 11, { "00000000001100", "00000001000", "00001100", "101011", "" } },
    { 0, 12, { "000000000001011", "0000000001111", "000001000", "101100", "" } },
    { 1, 12, { "000000000001010", "0000000001110", "000001010", "101101", "" } },
    { 2, 12, { "000000000001101", "0000000001101", "000001101", "101110", "" } },
    { 3, 12, { "00000000001000", "000000001100", "00001000", "101111", "" } },
    { 0, 13, { "0000000000001111", "0000000001011", "0000001101", "110000", "" } },
    { 1, 13, { "000000000000001", "0000000001010", "000000111", "110001", "" } },
    { 2, 13, { "000000000001001", "0000000001001", "000001001", "110010", "" } },
    { 3, 13, { "000000000001100", "0000000001100", "000001100", "110011", "" } },
    { 0, 14, { "0000000000001011", "0000000000111", "0000001001", "110100", "" } },
    { 1, 14, { "0000000000001110", "00000000001011", "0000001100", "110101", "" } },
    { 2, 14, { "0000000000001101", "0000000000110", "0000001011", "110110", "" } },
    { 3, 14, { "000000000001000", "0000000001000", "0000001010", "110111", "" } },
    { 0, 15, { "0000000000000111", "00000000001001", "0000000101", "111000", "" } },
    { 1, 15, { "0000000000001010", "00000000001000", "0000001000", "111001", "" } },
    { 2, 15, { "0000000000001001", "00000000001010", "0000000111", "111010", "" } },
    { 3, 15, { "0000000000001100", "0000000000001", "0000000110", "111011", "" } },
    { 0, 16, { "0000000000000100", "00000000000111", "0000000001", "111100", "" } },
    { 1, 16, { "0000000000000110", "00000000000110", "0000000100", "111101", "" } },
    { 2, 16, { "0000000000000101", "00000000000101", "0000000011", "111110", "" } },
    { 3, 16, { "0000000000001000", "00000000000100", "0000000010", "111111", "" } },
};

// Tables 9-7 and 9-8: [total_zeros][tzVlcIndex - 1].
const char* const kTable9_7_8[16][15] = {
    { "1", "111", "0101", "00011", "0101", "000001", "000001", "000001", "000001", "00001", "0000", "0000", "000", "00", "0" },
    { "011", "110", "111", "111", "0100", "00001", "00001", "0001", "000000", "00000", "0001", "0001", "001", "01", "1" },
    { "010", "101", "110", "0101", "0011", "111", "101", "00001", "0001", "001", "001", "01", "1", "1" },
    { "0011", "100", "101", "0100", "111", "110", "100", "011", "11", "11", "010", "1", "01" },
    { "0010", "011", "0100", "110", "110", "101", "011", "11", "10", "10", "1", "001" },
    { "00011", "0101", "0011", "101", "101", "100", "11", "10", "001", "01", "011" },
    { "00010", "0100", "100", "100", "100", "011", "010", "010", "01", "0001" },
    { "000011", "0011", "011", "0011", "011", "010", "0001", "001", "00001" },
    { "000010", "0010", "0010", "011", "0010", "0001", "001", "000000" },
    { "0000011", "00011", "00011", "0010", "00001", "001", "000000" },
    { "0000010", "00010", "00010", "00010", "0001", "000000" },
    { "00000011", "000011", "000001", "00001", "00000" },
    { "00000010", "000010", "00001", "00000" },
    { "000000011", "000001", "000000" },
    { "000000010", "000000" },
    { "000000001" },
};

// Table 9-9a: [total_zeros][tzVlcIndex - 1].
const char* const kTable9_9a[4][3] = {
    { "1", "1", "1" },
    { "01", "01", "0" },
    { "001", "00" },
    { "000" },
};

// Table 9-10: [run_before][zerosLeft 1..6, > 6].
const char* const kTable9_10[15][7] = {
    { "1", "1", "11", "11", "11", "11", "111" },
    { "0", "01", "10", "10", "10", "000", "110" },
    { "", "00", "01", "01", "011", "001", "101" },
    { "", "", "00", "001", "010", "011", "100" },
    { "", "", "", "000", "001", "010", "011" },
    { "", "", "", "", "000", "101", "010" },
    { "", "", "", "", "", "100", "001" },
    { "", "", "", "", "", "", "0001" },
    { "", "", "", "", "", "", "00001" },
    { "", "", "", "", "", "", "000001" },
    { "", "", "", "", "", "", "0000001" },
    { "", "", "", "", "", "", "00000001" },
    { "", "", "", "", "", "", "000000001" },
    { "", "", "", "", "", "", "0000000001" },
    { "", "", "", "", "", "", "00000000001" },
};

std::string Code(const char* c)
{
    if (!c || !*c)
        throw std::runtime_error("no codeword in the table for this case");
    return c;
}

std::string Binary(int value, int bits)
{
    std::string s;
    for (int i = bits - 1; i >= 0; --i)
        s += char('0' + ((value >> i) & 1));
    return s;
}

// ---- Encoder: coefficients in scanning order -> residual_block_cavlc() bits ----

std::string Encode(const std::vector<int>& coeff, int nC)
{
    const int maxNumCoeff = int(coeff.size());
    std::vector<int> level, pos; // highest frequency first
    for (int k = maxNumCoeff - 1; k >= 0; --k)
        if (coeff[k] != 0) {
            level.push_back(coeff[k]);
            pos.push_back(k);
        }
    const int totalCoeff = int(level.size());
    int trailingOnes = 0;
    while (trailingOnes < totalCoeff && trailingOnes < 3 && std::abs(level[trailingOnes]) == 1)
        ++trailingOnes;

    const int column = nC == -1 ? 4 : nC < 2 ? 0 : nC < 4 ? 1 : nC < 8 ? 2 : 3;
    std::string bits;
    for (const CoeffTokenRow& row : kTable9_5)
        if (row.trailingOnes == trailingOnes && row.totalCoeff == totalCoeff)
            bits = Code(row.code[column]);
    if (totalCoeff == 0)
        return bits;

    for (int i = 0; i < trailingOnes; ++i)
        bits += level[i] < 0 ? '1' : '0';
    int suffixLength = (totalCoeff > 10 && trailingOnes < 3) ? 1 : 0;
    for (int i = trailingOnes; i < totalCoeff; ++i) {
        int levelCode = level[i] > 0 ? 2 * level[i] - 2 : -2 * level[i] - 1;
        if (i == trailingOnes && trailingOnes < 3)
            levelCode -= 2;
        int prefix, suffix, suffixSize;
        if (suffixLength == 0 && levelCode < 14) {
            prefix = levelCode, suffix = 0, suffixSize = 0;
        } else if (suffixLength == 0 && levelCode < 30) {
            prefix = 14, suffix = levelCode - 14, suffixSize = 4;
        } else if (suffixLength == 0) {
            prefix = 15, suffix = levelCode - 30, suffixSize = 12;
        } else if ((levelCode >> suffixLength) < 15) {
            prefix = levelCode >> suffixLength, suffix = levelCode & ((1 << suffixLength) - 1), suffixSize = suffixLength;
        } else {
            prefix = 15, suffix = levelCode - (15 << suffixLength), suffixSize = 12;
        }
        if (suffix >= (1 << suffixSize))
            throw std::runtime_error("level too large to code with level_prefix <= 15");
        bits += std::string(prefix, '0') + "1" + Binary(suffix, suffixSize);
        if (suffixLength == 0)
            suffixLength = 1;
        if (std::abs(level[i]) > (3 << (suffixLength - 1)) && suffixLength < 6)
            ++suffixLength;
    }

    int zerosLeft = pos[0] + 1 - totalCoeff;
    if (totalCoeff < maxNumCoeff)
        bits += Code(maxNumCoeff == 4 ? kTable9_9a[zerosLeft][totalCoeff - 1] : kTable9_7_8[zerosLeft][totalCoeff - 1]);
    for (int i = 0; i + 1 < totalCoeff && zerosLeft > 0; ++i) {
        const int run = pos[i] - pos[i + 1] - 1;
        bits += Code(kTable9_10[run][std::min(zerosLeft, 7) - 1]);
        zerosLeft -= run;
    }
    return bits;
}

// ---- Decoding helpers ------------------------------------------------------

std::vector<uint8_t> Pack(const std::string& bits)
{
    BitWriter w;
    w.Code(bits);
    return w.Bytes();
}

// A scrambled scan order: levels must land at coeff[scan[k]], and every
// other entry of the 16 must be zero.
constexpr uint8_t kScan[16] = { 9, 3, 14, 0, 7, 12, 5, 1, 15, 10, 2, 6, 13, 8, 4, 11 };

struct Decoded {
    int totalCoeff;
    std::vector<int> coeff; // maxNumCoeff values in scanning order
    uint64_t bitsRead;
    bool strayNonZero; // an entry outside the scan is not zero
};

// Decodes from an exact-size heap copy so that AddressSanitizer sees any overread.
Decoded Decode(const std::vector<uint8_t>& bytes, int nC, int maxNumCoeff)
{
    std::vector<uint8_t> exact(bytes);
    BitReader br(exact.empty() ? nullptr : exact.data(), exact.size());
    int16_t out[16];
    std::fill(std::begin(out), std::end(out), int16_t(0x7777));
    Decoded d;
    d.totalCoeff = ReadResidualBlockCavlc(br, nC, maxNumCoeff, kScan, out);
    d.bitsRead = br.Position();
    d.strayNonZero = false;
    for (int k = 0; k < 16; ++k) {
        if (k < maxNumCoeff)
            d.coeff.push_back(out[kScan[k]]);
        else
            d.strayNonZero |= out[kScan[k]] != 0;
    }
    return d;
}

Decoded Decode(const std::string& bits, int nC, int maxNumCoeff)
{
    return Decode(Pack(bits), nC, maxNumCoeff);
}

int CountNonZero(const std::vector<int>& v)
{
    return int(std::count_if(v.begin(), v.end(), [](int x) { return x != 0; }));
}

// Decodes Encode(coeff) and checks the block, TotalCoeff and bits consumed.
void ExpectRoundTrip(const std::vector<int>& coeff, int nC)
{
    const std::string bits = Encode(coeff, nC);
    SCOPED_TRACE("bits " + bits);
    const Decoded d = Decode(bits, nC, int(coeff.size()));
    EXPECT_EQ(d.totalCoeff, CountNonZero(coeff));
    EXPECT_EQ(d.coeff, coeff);
    EXPECT_EQ(d.bitsRead, bits.size());
    EXPECT_FALSE(d.strayNonZero);
}

std::vector<int> Block16(std::initializer_list<int> head, int size = 16)
{
    std::vector<int> v(head);
    v.resize(size, 0);
    return v;
}

// ---- Hand-worked blocks ----------------------------------------------------

struct HandCase {
    const char* name;
    int nC;
    int maxNumCoeff;
    const char* bits; // spaces separate syntax elements
    std::vector<int> coeff;
};

// Each derived by hand from the tables; the comments give the syntax elements.
const HandCase kHandCases[] = {
    // 4x4 block 0 3 -1 0 / 0 -1 1 0 / 1 0 0 0 / 0 0 0 0, zig-zag 0,3,0,1,-1,-1,0,1:
    // TotalCoeff 5, TrailingOnes 3 (0000100), signs + - - (011), levels 1 (1)
    // and 3 (suffixLength 1: 0010), total_zeros 3 at tzVlcIndex 5 (111),
    // run_before 1 @zerosLeft 3 (10), 0 @2 (1), 0 @2 (1), 1 @2 (01).
    { "worked example", 0, 16, "0000100 011 1 0010 111 10 1 1 01", Block16({ 0, 3, 0, 1, -1, -1, 0, 1 }) },
    // TotalCoeff 2, TrailingOnes 1 (00111), sign + (0), -2 coded as levelCode 3 - 2
    // (01), total_zeros 0 at tzVlcIndex 2 (111).
    { "2 <= nC < 4", 3, 16, "00111 0 01 111", Block16({ -2, 1 }) },
    // 2 at the top breaks the trailing ones: TotalCoeff 3, TrailingOnes 0
    // (FLC 0010 00); 2 (levelCode 2 - 2: 1), -1 (suffixLength 1: 1 1), 1 (1 0);
    // total_zeros 1 at tzVlcIndex 3 (111), run_before 1 @zerosLeft 1 (0).
    { "nC >= 8", 8, 16, "001000 1 11 10 111 0", Block16({ 1, -1, 0, 2 }) },
    // Chroma DC: TotalCoeff 2, TrailingOnes 1 (000110), sign - (1), 3 as levelCode
    // 4 - 2 (001), total_zeros 1 at tzVlcIndex 2 of Table 9-9a (01), run_before 1 @1 (0).
    { "chroma DC", -1, 4, "000110 1 001 01 0", { 3, 0, -1, 0 } },
    // All four: TotalCoeff 4, TrailingOnes 3 is the all-zero codeword; signs of
    // -1, 1, 1 from the top (100), then 1 (1); no total_zeros.
    { "chroma DC full", -1, 4, "0000000 100 1", { 1, 1, 1, -1 } },
    // AC (15 coefficients): one +1 at the end, total_zeros 14 at tzVlcIndex 1.
    { "AC last position", 0, 15, "01 0 000000010", Block16({ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 }, 15) },
    // level_prefix 14 with suffixLength 0: 12 is levelCode 22 - 2 = 14 + 6 (4-bit suffix 0110).
    { "level_prefix 14", 0, 16, "000101 00000000000000 1 0110 1", Block16({ 12 }) },
    // level_prefix 15 with suffixLength 0: -2000 is levelCode 3999 - 2 = 30 + 3967 (1111 0111 1111).
    { "level_prefix 15", 0, 16, "000101 000000000000000 1 111101111111 1", Block16({ -2000 }) },
    // TotalCoeff 2, TrailingOnes 0 (00000111): 4 (levelCode 6 - 2: 00001) takes
    // suffixLength 0 -> 1 -> 2 (4 > 3); 100 is levelCode 198 >= 15 << 2, so
    // level_prefix 15 and suffix 198 - 60 = 138 in 12 bits; total_zeros 0 (111).
    { "level_prefix 15 suffixLength 2", 0, 16, "00000111 00001 0000000000000001 000010001010 111", Block16({ 100, 4 }) },
    // TotalCoeff 11, TrailingOnes 0 (000000000001111) starts at suffixLength 1:
    // 2 is levelCode 2 - 2 (1 0), then 2 ten times (01 0); total_zeros 0 at tzVlcIndex 11 (0000).
    { "TotalCoeff > 10 starts at suffixLength 1", 0, 16,
        "000000000001111 10 010 010 010 010 010 010 010 010 010 010 0000",
        Block16({ 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2 }) },
    // TotalCoeff 2, TrailingOnes 2 (001), total_zeros 7 at tzVlcIndex 2 (0011),
    // run_before 7 @zerosLeft 7 (0001).
    { "run_before zerosLeft > 6", 0, 16, "001 00 0011 0001", Block16({ 1, 0, 0, 0, 0, 0, 0, 0, 1 }) },
};

TEST(Cavlc, HandWorkedBlocks)
{
    for (const HandCase& c : kHandCases) {
        SCOPED_TRACE(c.name);
        std::string bits(c.bits);
        bits.erase(std::remove(bits.begin(), bits.end(), ' '), bits.end());
        // Ties the test encoder to the hand-worked bits, so the round trips
        // below check the decoder against something known to be right.
        EXPECT_EQ(Encode(c.coeff, c.nC), bits);
        ExpectRoundTrip(c.coeff, c.nC);
    }
}

// ---- Round trips over every table entry ------------------------------------

// Every row of Table 9-5 at every nC of its column (so the class bounds are
// checked too): TrailingOnes +-1 at the top, other levels of magnitude >= 2,
// placed so that total_zeros and run_before vary as well.
TEST(Cavlc, EveryCoeffTokenEntry)
{
    for (int nC = -1; nC <= 16; ++nC) {
        const int column = nC == -1 ? 4 : nC < 2 ? 0 : nC < 4 ? 1 : nC < 8 ? 2 : 3;
        const int maxNumCoeff = nC == -1 ? 4 : 16;
        for (const CoeffTokenRow& row : kTable9_5) {
            if (!*row.code[column])
                continue;
            std::vector<int> coeff(maxNumCoeff, 0);
            // Highest frequency first: trailing ones, then 2, -3, 4, ...; every
            // third coefficient is preceded by a zero while room remains.
            int p = maxNumCoeff - 1 - (maxNumCoeff - row.totalCoeff) / 2;
            int spare = maxNumCoeff - row.totalCoeff - (maxNumCoeff - 1 - p);
            for (int i = 0; i < row.totalCoeff; ++i, --p) {
                const int magnitude = i < row.trailingOnes ? 1 : 2 + (i - row.trailingOnes);
                coeff[p] = (i % 2 ? -magnitude : magnitude);
                if (i % 3 == 2 && spare > 0)
                    --p, --spare;
            }
            SCOPED_TRACE("TrailingOnes " + std::to_string(row.trailingOnes) + " TotalCoeff " +
                std::to_string(row.totalCoeff) + " nC " + std::to_string(nC));
            const std::string bits = Encode(coeff, nC);
            ASSERT_EQ(bits.substr(0, strlen(row.code[column])), row.code[column]);
            ExpectRoundTrip(coeff, nC);
        }
    }
}

// Every entry of Tables 9-7, 9-8 (16 and 15 coefficients) and 9-9a: TotalCoeff
// coefficients with all total_zeros zeros below the lowest one.
TEST(Cavlc, EveryTotalZerosEntry)
{
    for (int maxNumCoeff : { 4, 15, 16 }) {
        for (int totalCoeff = 1; totalCoeff < maxNumCoeff; ++totalCoeff) {
            for (int totalZeros = 0; totalZeros <= maxNumCoeff - totalCoeff; ++totalZeros) {
                SCOPED_TRACE("maxNumCoeff " + std::to_string(maxNumCoeff) + " tzVlcIndex " +
                    std::to_string(totalCoeff) + " total_zeros " + std::to_string(totalZeros));
                std::vector<int> coeff(maxNumCoeff, 0);
                for (int i = 0; i < totalCoeff; ++i)
                    coeff[totalZeros + i] = (i % 2) ? 3 : -1;
                ExpectRoundTrip(coeff, maxNumCoeff == 4 ? -1 : 1);
            }
        }
    }
}

// Every entry of Table 9-10, each as the first and as a later run_before:
// the top coefficient at 1 + zerosLeft, the next run + 1 below it, and a
// third one at 0 when zeros remain (then read at zerosLeft - run).
TEST(Cavlc, EveryRunBeforeEntry)
{
    for (int zerosLeft = 1; zerosLeft <= 14; ++zerosLeft) {
        for (int run = 0; run <= zerosLeft; ++run) {
            SCOPED_TRACE("zerosLeft " + std::to_string(zerosLeft) + " run_before " + std::to_string(run));
            std::vector<int> coeff(16, 0);
            const int top = 1 + zerosLeft;
            coeff[top] = -1;
            coeff[top - 1 - run] = 7;
            ExpectRoundTrip(coeff, 5);
            coeff[0] = 2;
            ExpectRoundTrip(coeff, 5);
        }
    }
}

// Every level the Baseline escape range allows, after 0..5 large levels have
// raised suffixLength to each of its values; the first level also covers the
// suffixLength 0 and +2 (TrailingOnes < 3) rules.
TEST(Cavlc, LevelSweepAtEverySuffixLength)
{
    for (int lead = 0; lead <= 5; ++lead) {
        for (int value = -2000; value <= 2000; ++value) {
            if (value == 0 || (lead == 0 && std::abs(value) == 1))
                continue;
            std::vector<int> coeff(16, 0);
            coeff[0] = value;
            for (int i = 1; i <= lead; ++i)
                coeff[i] = 100;
            SCOPED_TRACE("lead " + std::to_string(lead) + " value " + std::to_string(value));
            const std::string bits = Encode(coeff, 0);
            const Decoded d = Decode(bits, 0, 16);
            ASSERT_EQ(d.coeff, coeff);
            ASSERT_EQ(d.bitsRead, bits.size());
        }
    }
}

struct Block {
    int nC;
    std::vector<int> coeff;
};

// Random blocks of every kind: mostly small levels, sometimes escapes.
std::vector<Block> RandomBlocks(std::mt19937& rng, int count)
{
    std::vector<Block> blocks;
    for (int n = 0; n < count; ++n) {
        const int kind = int(rng() % 3);
        const int maxNumCoeff = kind == 0 ? 4 : kind == 1 ? 15 : 16;
        const int nC = kind == 0 ? -1 : int(rng() % 17);
        const int density = int(rng() % 101); // percent
        const int scale = int(rng() % 4);
        std::vector<int> coeff(maxNumCoeff, 0);
        for (int& c : coeff) {
            if (int(rng() % 100) >= density)
                continue;
            const int limit = scale == 0 ? 2 : scale == 1 ? 8 : scale == 2 ? 60 : 2000;
            c = 1 + int(rng() % limit);
            if (rng() & 1)
                c = -c;
        }
        blocks.push_back({ nC, coeff });
    }
    return blocks;
}

// Random blocks decoded back to back from one buffer, so a codeword consumed
// one bit too long or short derails the rest, and the reader's refills fall
// at every place within a block.
TEST(Cavlc, RandomBlocksBackToBack)
{
    std::mt19937 rng(12345);
    const std::vector<Block> blocks = RandomBlocks(rng, 20000);
    BitWriter w;
    for (const Block& b : blocks)
        w.Code(Encode(b.coeff, b.nC));
    const std::vector<uint8_t> bytes = w.Bytes();
    BitReader br(bytes.data(), bytes.size());
    for (size_t n = 0; n < blocks.size(); ++n) {
        const Block& b = blocks[n];
        int16_t out[16];
        const int tc = ReadResidualBlockCavlc(br, b.nC, int(b.coeff.size()), kScanInOrder, out);
        ASSERT_EQ(tc, CountNonZero(b.coeff)) << "block " << n << " nC " << b.nC;
        ASSERT_EQ(std::vector<int>(out, out + b.coeff.size()), b.coeff) << "block " << n << " nC " << b.nC;
    }
    EXPECT_EQ(br.Position(), w.BitCount());
    EXPECT_FALSE(br.Error());
}

// ---- Invalid input ---------------------------------------------------------

struct BadCase {
    const char* name;
    int nC;
    int maxNumCoeff;
    const char* bits;
};

// Valid-looking bits follow each bad element, so only the named fault can fail it.
const BadCase kBadCases[] = {
    { "coeff_token 15 zeros, 0<=nC<2", 0, 16, "000000000000000 1 1111111111111111" },
    { "coeff_token 13 zeros, 2<=nC<4", 3, 16, "0000000000000 1 1111111111111111" },
    { "coeff_token 10 zeros, 4<=nC<8", 6, 16, "0000000000 1 1111111111111111" },
    { "FLC TrailingOnes 2 > TotalCoeff 1", 8, 16, "000010 11 1 111111111" },
    { "FLC TrailingOnes 3 > TotalCoeff 2", 8, 16, "000111 111 1 111111111" },
    { "TotalCoeff 16 in an AC block", 0, 15, "0000000000001000 000 1111111111111 1111111111111111" },
    { "total_zeros 15 with TotalCoeff 1 in an AC block", 0, 15, "01 0 000000001 1111111" },
    { "total_zeros 9 zeros (unused)", 0, 16, "01 0 000000000 1111111" },
    { "run_before 8 > zerosLeft 7", 0, 16, "001 00 0011 00001 1111111" },
    // total_zeros 14 at tzVlcIndex 2 (000000), then 11 zeros for run_before.
    { "run_before 11 zeros (unused)", 0, 16, "001 00 000000 00000000000 1111111" },
    { "level_prefix 16", 0, 16, "000101 0000000000000000 1 111111111111111 1" },
    { "level_prefix 16 at suffixLength 1", 0, 16,
        "000000000001111 0000000000000000 1 111111111111111111111111111111111111111111111111" },
};

TEST(Cavlc, InvalidBitsReturnMinusOneAndLeaveZeros)
{
    for (const BadCase& c : kBadCases) {
        SCOPED_TRACE(c.name);
        const Decoded d = Decode(std::string(c.bits), c.nC, c.maxNumCoeff);
        EXPECT_EQ(d.totalCoeff, -1);
        EXPECT_EQ(d.coeff, std::vector<int>(c.maxNumCoeff, 0));
        EXPECT_FALSE(d.strayNonZero);
    }
    for (int nC : { -1, 0, 2, 4, 8 }) {
        for (size_t size : { 0, 1, 4, 64 }) {
            SCOPED_TRACE("all zeros, nC " + std::to_string(nC) + " bytes " + std::to_string(size));
            const int maxNumCoeff = nC == -1 ? 4 : 16;
            const Decoded d = Decode(std::vector<uint8_t>(size, 0), nC, maxNumCoeff);
            EXPECT_EQ(d.totalCoeff, -1);
            EXPECT_EQ(d.coeff, std::vector<int>(maxNumCoeff, 0));
            EXPECT_LE(d.bitsRead, size * 8);
        }
    }
    // A reader already in error (an earlier syntax element ran out) is not reset.
    const std::vector<uint8_t> bytes = Pack("1 0000000");
    BitReader br(bytes.data(), bytes.size());
    br.SetError();
    int16_t out[16];
    EXPECT_EQ(ReadResidualBlockCavlc(br, 0, 16, kScan, out), -1);
}

// Blocks cut short at every byte: running out of bits is an error, never a
// different block (the bits before the cut parse as the whole block's do).
TEST(Cavlc, TruncatedBlocksAreInvalid)
{
    std::mt19937 rng(99);
    for (const Block& b : RandomBlocks(rng, 300)) {
        const std::string bits = Encode(b.coeff, b.nC);
        const std::vector<uint8_t> full = Pack(bits);
        for (size_t keep = 0; keep * 8 < bits.size(); ++keep) {
            SCOPED_TRACE("bits " + bits + ", bytes kept " + std::to_string(keep));
            const int maxNumCoeff = int(b.coeff.size());
            const Decoded d = Decode(std::vector<uint8_t>(full.begin(), full.begin() + keep), b.nC, maxNumCoeff);
            ASSERT_EQ(d.totalCoeff, -1);
            ASSERT_EQ(d.coeff, std::vector<int>(maxNumCoeff, 0));
            ASSERT_LE(d.bitsRead, keep * 8);
        }
    }
}

TEST(Cavlc, InvalidArgumentsReadAndWriteNothing)
{
    const int cases[][2] = { { -1, 16 }, { -1, 15 }, { 0, 4 }, { -2, 4 }, { 0, 8 }, { 0, 17 }, { 0, 0 } };
    for (const auto& [nC, maxNumCoeff] : cases) {
        SCOPED_TRACE("nC " + std::to_string(nC) + " maxNumCoeff " + std::to_string(maxNumCoeff));
        const std::vector<uint8_t> bytes = Pack("11111111");
        BitReader br(bytes.data(), bytes.size());
        int16_t out[16];
        std::fill(std::begin(out), std::end(out), int16_t(0x7777));
        EXPECT_EQ(ReadResidualBlockCavlc(br, nC, maxNumCoeff, kScan, out), -1);
        EXPECT_EQ(br.Position(), 0u);
        for (int16_t v : out)
            EXPECT_EQ(v, 0x7777);
    }
}

// Random bytes: either -1 with zeros, or a block whose own encoding is
// exactly the bits consumed (CAVLC codes each block one way only).
TEST(Cavlc, RandomBytesDecodeToTheirOwnEncodingOrFail)
{
    std::mt19937 rng(777);
    int valid = 0;
    for (int n = 0; n < 60000; ++n) {
        std::vector<uint8_t> bytes(rng() % 13);
        const unsigned ones = rng() % 8; // bias towards zeros: longer codewords and escapes
        for (uint8_t& b : bytes)
            for (int i = 0; i < 8; ++i)
                b = uint8_t(b << 1 | ((rng() % 8) < ones ? 1 : 0));
        const int kind = int(rng() % 3);
        const int maxNumCoeff = kind == 0 ? 4 : kind == 1 ? 15 : 16;
        const int nC = kind == 0 ? -1 : int(rng() % 17);
        const Decoded d = Decode(bytes, nC, maxNumCoeff);
        ASSERT_FALSE(d.strayNonZero);
        ASSERT_LE(d.bitsRead, bytes.size() * 8);
        if (d.totalCoeff < 0) {
            ASSERT_EQ(d.coeff, std::vector<int>(maxNumCoeff, 0)) << "input " << n;
            continue;
        }
        ++valid;
        ASSERT_EQ(d.totalCoeff, CountNonZero(d.coeff)) << "input " << n;
        std::string consumed;
        for (uint64_t i = 0; i < d.bitsRead; ++i)
            consumed += char('0' + ((bytes[i / 8] >> (7 - i % 8)) & 1));
        ASSERT_EQ(Encode(d.coeff, nC), consumed) << "input " << n << " nC " << nC;
    }
    EXPECT_GT(valid, 10000); // the property was exercised, not only the failures
}

// ---- The bit reader's cache ------------------------------------------------

// Random mixes of every read on buffers of 0..24 bytes, against a model that
// takes one bit at a time: values (zeros past the end), position (at most
// the end), error (once a read passed the end), alignment, more_rbsp_data.
// Short buffers put the refills on both sides of the whole-word load and the end.
TEST(BitReader, CacheAgreesWithABitByBitModel)
{
    std::mt19937 rng(4242);
    for (int n = 0; n < 4000; ++n) {
        std::vector<uint8_t> bytes(rng() % 25);
        for (uint8_t& b : bytes)
            b = uint8_t(rng() % 4 == 0 ? 0 : rng()); // zero bytes: long ue codes, late stop bits
        const uint64_t size = bytes.size() * 8;
        auto bit = [&](uint64_t i) { return i < size ? uint32_t((bytes[i / 8] >> (7 - i % 8)) & 1) : 0u; };
        uint64_t stop = 0, pos = 0;
        for (uint64_t i = 0; i < size; ++i)
            stop = bit(i) ? i : stop;
        auto bits = [&](uint64_t at, int k) {
            uint32_t v = 0;
            for (int i = 0; i < k; ++i)
                v = v << 1 | bit(at + uint64_t(i));
            return v;
        };
        BitReader br(bytes.empty() ? nullptr : bytes.data(), bytes.size());
        for (int step = 0; step < 40; ++step) {
            SCOPED_TRACE("buffer " + std::to_string(n) + " step " + std::to_string(step));
            const int op = int(rng() % 5), k = int(rng() % 33);
            if (op == 0) {
                ASSERT_EQ(br.ReadBit(), bit(pos++));
            } else if (op == 1) {
                ASSERT_EQ(br.ReadBits(k), bits(pos, k));
                pos += uint64_t(k);
            } else if (op == 2) {
                ASSERT_EQ(br.Peek(k), bits(pos, k));
            } else if (op == 3) {
                const int skip = rng() % 4 == 0 ? k * 9 : k; // now and then past the cache
                br.Skip(skip);
                pos += uint64_t(skip);
            } else {
                int zeros = 0;
                while (zeros < 32 && bit(pos + uint64_t(zeros)) == 0)
                    ++zeros;
                const uint32_t v = br.ReadUe();
                if (zeros == 32) { // no ue(v) has that many: an error whatever follows
                    ASSERT_TRUE(br.Error());
                    break;
                }
                ASSERT_EQ(v, (uint64_t(1) << zeros) - 1 + bits(pos + uint64_t(zeros) + 1, zeros));
                pos += 2 * uint64_t(zeros) + 1;
            }
            ASSERT_EQ(br.Error(), pos > size);
            ASSERT_EQ(br.Position(), std::min(pos, size));
            ASSERT_EQ(br.ByteAligned(), pos % 8 == 0);
            ASSERT_EQ(br.MoreRbspData(), pos < size && pos < stop);
        }
    }
}

} // namespace
