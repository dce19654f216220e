#pragma once

// Code tables of ITU-T T.4 (modified Huffman run lengths, two-dimensional mode codes), shared by
// T.4 and T.6. The tables are written as the bit strings of the standard and turned into lookup
// tables at compile time; a prefix conflict (a mistyped code) fails the build.

#include <array>
#include <cstddef>
#include <cstdint>

namespace zembrix {

namespace ccitt {

struct RunCode {
    const char *bits; // the code word, most significant bit first
    int run;          // run length it stands for
};

// Terminating codes (0..63) and make-up codes (64..1728) for white runs, T.4 tables 2 and 3.
// clang-format off
inline constexpr RunCode kWhiteCodes[] = {
    {"00110101", 0},     {"000111", 1},      {"0111", 2},        {"1000", 3},
    {"1011", 4},         {"1100", 5},        {"1110", 6},        {"1111", 7},
    {"10011", 8},        {"10100", 9},       {"00111", 10},      {"01000", 11},
    {"001000", 12},      {"000011", 13},     {"110100", 14},     {"110101", 15},
    {"101010", 16},      {"101011", 17},     {"0100111", 18},    {"0001100", 19},
    {"0001000", 20},     {"0010111", 21},    {"0000011", 22},    {"0000100", 23},
    {"0101000", 24},     {"0101011", 25},    {"0010011", 26},    {"0100100", 27},
    {"0011000", 28},     {"00000010", 29},   {"00000011", 30},   {"00011010", 31},
    {"00011011", 32},    {"00010010", 33},   {"00010011", 34},   {"00010100", 35},
    {"00010101", 36},    {"00010110", 37},   {"00010111", 38},   {"00101000", 39},
    {"00101001", 40},    {"00101010", 41},   {"00101011", 42},   {"00101100", 43},
    {"00101101", 44},    {"00000100", 45},   {"00000101", 46},   {"00001010", 47},
    {"00001011", 48},    {"01010010", 49},   {"01010011", 50},   {"01010100", 51},
    {"01010101", 52},    {"00100100", 53},   {"00100101", 54},   {"01011000", 55},
    {"01011001", 56},    {"01011010", 57},   {"01011011", 58},   {"01001010", 59},
    {"01001011", 60},    {"00110010", 61},   {"00110011", 62},   {"00110100", 63},
    {"11011", 64},       {"10010", 128},     {"010111", 192},    {"0110111", 256},
    {"00110110", 320},   {"00110111", 384},  {"01100100", 448},  {"01100101", 512},
    {"01101000", 576},   {"01100111", 640},  {"011001100", 704}, {"011001101", 768},
    {"011010010", 832},  {"011010011", 896}, {"011010100", 960}, {"011010101", 1024},
    {"011010110", 1088}, {"011010111", 1152}, {"011011000", 1216}, {"011011001", 1280},
    {"011011010", 1344}, {"011011011", 1408}, {"010011000", 1472}, {"010011001", 1536},
    {"010011010", 1600}, {"011000", 1664},   {"010011011", 1728},
};

// Terminating and make-up codes for black runs.
inline constexpr RunCode kBlackCodes[] = {
    {"0000110111", 0},     {"010", 1},            {"11", 2},             {"10", 3},
    {"011", 4},            {"0011", 5},           {"0010", 6},           {"00011", 7},
    {"000101", 8},         {"000100", 9},         {"0000100", 10},       {"0000101", 11},
    {"0000111", 12},       {"00000100", 13},      {"00000111", 14},      {"000011000", 15},
    {"0000010111", 16},    {"0000011000", 17},    {"0000001000", 18},    {"00001100111", 19},
    {"00001101000", 20},   {"00001101100", 21},   {"00000110111", 22},   {"00000101000", 23},
    {"00000010111", 24},   {"00000011000", 25},   {"000011001010", 26},  {"000011001011", 27},
    {"000011001100", 28},  {"000011001101", 29},  {"000001101000", 30},  {"000001101001", 31},
    {"000001101010", 32},  {"000001101011", 33},  {"000011010010", 34},  {"000011010011", 35},
    {"000011010100", 36},  {"000011010101", 37},  {"000011010110", 38},  {"000011010111", 39},
    {"000001101100", 40},  {"000001101101", 41},  {"000011011010", 42},  {"000011011011", 43},
    {"000001010100", 44},  {"000001010101", 45},  {"000001010110", 46},  {"000001010111", 47},
    {"000001100100", 48},  {"000001100101", 49},  {"000001010010", 50},  {"000001010011", 51},
    {"000000100100", 52},  {"000000110111", 53},  {"000000111000", 54},  {"000000100111", 55},
    {"000000101000", 56},  {"000001011000", 57},  {"000001011001", 58},  {"000000101011", 59},
    {"000000101100", 60},  {"000001011010", 61},  {"000001100110", 62},  {"000001100111", 63},
    {"0000001111", 64},    {"000011001000", 128}, {"000011001001", 192}, {"000001011011", 256},
    {"000000110011", 320}, {"000000110100", 384}, {"000000110101", 448}, {"0000001101100", 512},
    {"0000001101101", 576}, {"0000001001010", 640}, {"0000001001011", 704}, {"0000001001100", 768},
    {"0000001001101", 832}, {"0000001110010", 896}, {"0000001110011", 960}, {"0000001110100", 1024},
    {"0000001110101", 1088}, {"0000001110110", 1152}, {"0000001110111", 1216},
    {"0000001010010", 1280}, {"0000001010011", 1344}, {"0000001010100", 1408},
    {"0000001010101", 1472}, {"0000001011010", 1536}, {"0000001011011", 1600},
    {"0000001100100", 1664}, {"0000001100101", 1728},
};

// Make-up codes 1792..2560 shared by both colours (T.4 table 3 extension).
inline constexpr RunCode kSharedMakeupCodes[] = {
    {"00000001000", 1792},  {"00000001100", 1856},  {"00000001101", 1920},
    {"000000010010", 1984}, {"000000010011", 2048}, {"000000010100", 2112},
    {"000000010101", 2176}, {"000000010110", 2240}, {"000000010111", 2304},
    {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560},
};
// clang-format on

// A run code of 64 or more is a make-up code and is followed by more codes of the same colour.
inline constexpr int kFirstMakeup = 64;

// Every run code fits in 13 bits, so a 13-bit look-ahead finds any of them in one step.
inline constexpr int kRunLookupBits = 13;

struct RunEntry {
    std::uint8_t length = 0; // 0: no code starts with these bits
    std::uint16_t run = 0;
};

enum class Mode : std::uint8_t { Invalid, Pass, Horizontal, Vertical, Extension };

struct ModeCode {
    const char *bits;
    Mode mode;
    int delta; // a1 - b1 for the vertical modes
};

// Two-dimensional coding modes, T.4 table 4. EOL (000000000001) is handled by the caller.
inline constexpr ModeCode kModeCodes[] = {
    {"0001", Mode::Pass, 0},         {"001", Mode::Horizontal, 0},
    {"1", Mode::Vertical, 0},        {"011", Mode::Vertical, 1},
    {"000011", Mode::Vertical, 2},   {"0000011", Mode::Vertical, 3},
    {"010", Mode::Vertical, -1},     {"000010", Mode::Vertical, -2},
    {"0000010", Mode::Vertical, -3}, {"0000001", Mode::Extension, 0},
};

inline constexpr int kModeLookupBits = 7;

struct ModeEntry {
    std::uint8_t length = 0; // 0: no mode code starts with these bits
    Mode mode = Mode::Invalid;
    std::int8_t delta = 0;
};

namespace detail {

constexpr int codeLength(const char *bits)
{
    int n = 0;
    while (bits[n] != '\0')
        ++n;
    return n;
}

constexpr unsigned codeValue(const char *bits)
{
    unsigned v = 0;
    for (int i = 0; bits[i] != '\0'; ++i)
        v = (v << 1) | unsigned(bits[i] == '1');
    return v;
}

template <typename Entry, std::size_t Size>
struct Table {
    std::array<Entry, Size> entries{};
    bool prefixFree = true;
};

template <std::size_t Size>
constexpr void addRunCode(Table<RunEntry, Size> &table, const RunCode &code)
{
    const int length = codeLength(code.bits);
    const int free = kRunLookupBits - length;
    const unsigned first = codeValue(code.bits) << free;
    for (unsigned i = 0; i < (1u << free); ++i) {
        RunEntry &e = table.entries[first + i];
        if (e.length != 0)
            table.prefixFree = false;
        e.length = std::uint8_t(length);
        e.run = std::uint16_t(code.run);
    }
}

template <std::size_t N>
constexpr Table<RunEntry, (1u << kRunLookupBits)> makeRunTable(const RunCode (&codes)[N])
{
    Table<RunEntry, (1u << kRunLookupBits)> table;
    for (const RunCode &c : codes)
        addRunCode(table, c);
    for (const RunCode &c : kSharedMakeupCodes)
        addRunCode(table, c);
    return table;
}

constexpr Table<ModeEntry, (1u << kModeLookupBits)> makeModeTable()
{
    Table<ModeEntry, (1u << kModeLookupBits)> table;
    for (const ModeCode &c : kModeCodes) {
        const int length = codeLength(c.bits);
        const int free = kModeLookupBits - length;
        const unsigned first = codeValue(c.bits) << free;
        for (unsigned i = 0; i < (1u << free); ++i) {
            ModeEntry &e = table.entries[first + i];
            if (e.length != 0)
                table.prefixFree = false;
            e.length = std::uint8_t(length);
            e.mode = c.mode;
            e.delta = std::int8_t(c.delta);
        }
    }
    return table;
}

template <std::size_t N>
constexpr bool coversAllRuns(const RunCode (&codes)[N])
{
    // 0..63 once each, then every multiple of 64 up to 1728.
    for (int run = 0; run <= 1728; run += run < kFirstMakeup ? 1 : 64) {
        int found = 0;
        for (const RunCode &c : codes)
            found += c.run == run;
        if (found != 1)
            return false;
    }
    return N == 64 + 27;
}

} // namespace detail

inline constexpr auto kWhiteTable = detail::makeRunTable(kWhiteCodes);
inline constexpr auto kBlackTable = detail::makeRunTable(kBlackCodes);
inline constexpr auto kModeTable = detail::makeModeTable();

static_assert(kWhiteTable.prefixFree && kBlackTable.prefixFree && kModeTable.prefixFree,
              "CCITT code tables must be prefix free");
static_assert(detail::coversAllRuns(kWhiteCodes) && detail::coversAllRuns(kBlackCodes),
              "CCITT run tables must hold each terminating and make-up code once");

} // namespace ccitt

} // namespace zembrix
