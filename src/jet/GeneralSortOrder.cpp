#include "jet/GeneralSortOrder.h"

#include <algorithm>
#include <array>

namespace fiscora::jet {

namespace {

enum class K : quint8 {
    Ignored,       // leaves no trace in the key
    Simple,        // one or two sort bytes
    International, // a base letter's sort byte, plus an accent byte in the extra part
    Unprintable,   // sorts as if absent; recorded with its position after the text
};

struct Code {
    K kind;
    quint8 length;
    quint8 bytes[2];
    quint8 extra;
};

// Characters U+0000 to U+00FF.
constexpr Code Latin1[256] = {
    {K::Ignored, 0, {0x00, 0x00}, 0x00},       // 00
    {K::Unprintable, 1, {0x03, 0x00}, 0x00},   // 01
    {K::Unprintable, 1, {0x04, 0x00}, 0x00},   // 02
    {K::Unprintable, 1, {0x05, 0x00}, 0x00},   // 03
    {K::Unprintable, 1, {0x06, 0x00}, 0x00},   // 04
    {K::Unprintable, 1, {0x07, 0x00}, 0x00},   // 05
    {K::Unprintable, 1, {0x08, 0x00}, 0x00},   // 06
    {K::Unprintable, 1, {0x09, 0x00}, 0x00},   // 07
    {K::Unprintable, 1, {0x0A, 0x00}, 0x00},   // 08
    {K::Simple, 2, {0x08, 0x03}, 0x00},        // 09
    {K::Simple, 2, {0x08, 0x04}, 0x00},        // 0A
    {K::Simple, 2, {0x08, 0x05}, 0x00},        // 0B
    {K::Simple, 2, {0x08, 0x06}, 0x00},        // 0C
    {K::Simple, 2, {0x08, 0x07}, 0x00},        // 0D
    {K::Unprintable, 1, {0x0B, 0x00}, 0x00},   // 0E
    {K::Unprintable, 1, {0x0C, 0x00}, 0x00},   // 0F
    {K::Unprintable, 1, {0x0D, 0x00}, 0x00},   // 10
    {K::Unprintable, 1, {0x0E, 0x00}, 0x00},   // 11
    {K::Unprintable, 1, {0x0F, 0x00}, 0x00},   // 12
    {K::Unprintable, 1, {0x10, 0x00}, 0x00},   // 13
    {K::Unprintable, 1, {0x11, 0x00}, 0x00},   // 14
    {K::Unprintable, 1, {0x12, 0x00}, 0x00},   // 15
    {K::Unprintable, 1, {0x13, 0x00}, 0x00},   // 16
    {K::Unprintable, 1, {0x14, 0x00}, 0x00},   // 17
    {K::Unprintable, 1, {0x15, 0x00}, 0x00},   // 18
    {K::Unprintable, 1, {0x16, 0x00}, 0x00},   // 19
    {K::Unprintable, 1, {0x17, 0x00}, 0x00},   // 1A
    {K::Unprintable, 1, {0x18, 0x00}, 0x00},   // 1B
    {K::Unprintable, 1, {0x19, 0x00}, 0x00},   // 1C
    {K::Unprintable, 1, {0x1A, 0x00}, 0x00},   // 1D
    {K::Unprintable, 1, {0x1B, 0x00}, 0x00},   // 1E
    {K::Unprintable, 1, {0x1C, 0x00}, 0x00},   // 1F
    {K::Simple, 1, {0x07, 0x00}, 0x00},        // 20
    {K::Simple, 1, {0x09, 0x00}, 0x00},        // 21
    {K::Simple, 1, {0x0A, 0x00}, 0x00},        // 22
    {K::Simple, 1, {0x0C, 0x00}, 0x00},        // 23
    {K::Simple, 1, {0x0E, 0x00}, 0x00},        // 24
    {K::Simple, 1, {0x10, 0x00}, 0x00},        // 25
    {K::Simple, 1, {0x12, 0x00}, 0x00},        // 26
    {K::Unprintable, 1, {0x80, 0x00}, 0x00},   // 27
    {K::Simple, 1, {0x14, 0x00}, 0x00},        // 28
    {K::Simple, 1, {0x16, 0x00}, 0x00},        // 29
    {K::Simple, 1, {0x18, 0x00}, 0x00},        // 2A
    {K::Simple, 1, {0x2C, 0x00}, 0x00},        // 2B
    {K::Simple, 1, {0x1A, 0x00}, 0x00},        // 2C
    {K::Unprintable, 1, {0x82, 0x00}, 0x00},   // 2D
    {K::Simple, 1, {0x1C, 0x00}, 0x00},        // 2E
    {K::Simple, 1, {0x1E, 0x00}, 0x00},        // 2F
    {K::Simple, 1, {0x36, 0x00}, 0x00},        // 30
    {K::Simple, 1, {0x38, 0x00}, 0x00},        // 31
    {K::Simple, 1, {0x3A, 0x00}, 0x00},        // 32
    {K::Simple, 1, {0x3C, 0x00}, 0x00},        // 33
    {K::Simple, 1, {0x3E, 0x00}, 0x00},        // 34
    {K::Simple, 1, {0x40, 0x00}, 0x00},        // 35
    {K::Simple, 1, {0x42, 0x00}, 0x00},        // 36
    {K::Simple, 1, {0x44, 0x00}, 0x00},        // 37
    {K::Simple, 1, {0x46, 0x00}, 0x00},        // 38
    {K::Simple, 1, {0x48, 0x00}, 0x00},        // 39
    {K::Simple, 1, {0x20, 0x00}, 0x00},        // 3A
    {K::Simple, 1, {0x22, 0x00}, 0x00},        // 3B
    {K::Simple, 1, {0x2E, 0x00}, 0x00},        // 3C
    {K::Simple, 1, {0x30, 0x00}, 0x00},        // 3D
    {K::Simple, 1, {0x32, 0x00}, 0x00},        // 3E
    {K::Simple, 1, {0x24, 0x00}, 0x00},        // 3F
    {K::Simple, 1, {0x26, 0x00}, 0x00},        // 40
    {K::Simple, 1, {0x4A, 0x00}, 0x00},        // 41
    {K::Simple, 1, {0x4C, 0x00}, 0x00},        // 42
    {K::Simple, 1, {0x4D, 0x00}, 0x00},        // 43
    {K::Simple, 1, {0x4F, 0x00}, 0x00},        // 44
    {K::Simple, 1, {0x51, 0x00}, 0x00},        // 45
    {K::Simple, 1, {0x53, 0x00}, 0x00},        // 46
    {K::Simple, 1, {0x55, 0x00}, 0x00},        // 47
    {K::Simple, 1, {0x57, 0x00}, 0x00},        // 48
    {K::Simple, 1, {0x59, 0x00}, 0x00},        // 49
    {K::Simple, 1, {0x5B, 0x00}, 0x00},        // 4A
    {K::Simple, 1, {0x5C, 0x00}, 0x00},        // 4B
    {K::Simple, 1, {0x5E, 0x00}, 0x00},        // 4C
    {K::Simple, 1, {0x60, 0x00}, 0x00},        // 4D
    {K::Simple, 1, {0x62, 0x00}, 0x00},        // 4E
    {K::Simple, 1, {0x64, 0x00}, 0x00},        // 4F
    {K::Simple, 1, {0x66, 0x00}, 0x00},        // 50
    {K::Simple, 1, {0x68, 0x00}, 0x00},        // 51
    {K::Simple, 1, {0x69, 0x00}, 0x00},        // 52
    {K::Simple, 1, {0x6B, 0x00}, 0x00},        // 53
    {K::Simple, 1, {0x6D, 0x00}, 0x00},        // 54
    {K::Simple, 1, {0x6F, 0x00}, 0x00},        // 55
    {K::Simple, 1, {0x71, 0x00}, 0x00},        // 56
    {K::Simple, 1, {0x73, 0x00}, 0x00},        // 57
    {K::Simple, 1, {0x75, 0x00}, 0x00},        // 58
    {K::Simple, 1, {0x76, 0x00}, 0x00},        // 59
    {K::Simple, 1, {0x78, 0x00}, 0x00},        // 5A
    {K::Simple, 1, {0x27, 0x00}, 0x00},        // 5B
    {K::Simple, 1, {0x29, 0x00}, 0x00},        // 5C
    {K::Simple, 1, {0x2A, 0x00}, 0x00},        // 5D
    {K::Simple, 2, {0x2B, 0x02}, 0x00},        // 5E
    {K::Simple, 2, {0x2B, 0x03}, 0x00},        // 5F
    {K::Simple, 2, {0x2B, 0x07}, 0x00},        // 60
    {K::Simple, 1, {0x4A, 0x00}, 0x00},        // 61
    {K::Simple, 1, {0x4C, 0x00}, 0x00},        // 62
    {K::Simple, 1, {0x4D, 0x00}, 0x00},        // 63
    {K::Simple, 1, {0x4F, 0x00}, 0x00},        // 64
    {K::Simple, 1, {0x51, 0x00}, 0x00},        // 65
    {K::Simple, 1, {0x53, 0x00}, 0x00},        // 66
    {K::Simple, 1, {0x55, 0x00}, 0x00},        // 67
    {K::Simple, 1, {0x57, 0x00}, 0x00},        // 68
    {K::Simple, 1, {0x59, 0x00}, 0x00},        // 69
    {K::Simple, 1, {0x5B, 0x00}, 0x00},        // 6A
    {K::Simple, 1, {0x5C, 0x00}, 0x00},        // 6B
    {K::Simple, 1, {0x5E, 0x00}, 0x00},        // 6C
    {K::Simple, 1, {0x60, 0x00}, 0x00},        // 6D
    {K::Simple, 1, {0x62, 0x00}, 0x00},        // 6E
    {K::Simple, 1, {0x64, 0x00}, 0x00},        // 6F
    {K::Simple, 1, {0x66, 0x00}, 0x00},        // 70
    {K::Simple, 1, {0x68, 0x00}, 0x00},        // 71
    {K::Simple, 1, {0x69, 0x00}, 0x00},        // 72
    {K::Simple, 1, {0x6B, 0x00}, 0x00},        // 73
    {K::Simple, 1, {0x6D, 0x00}, 0x00},        // 74
    {K::Simple, 1, {0x6F, 0x00}, 0x00},        // 75
    {K::Simple, 1, {0x71, 0x00}, 0x00},        // 76
    {K::Simple, 1, {0x73, 0x00}, 0x00},        // 77
    {K::Simple, 1, {0x75, 0x00}, 0x00},        // 78
    {K::Simple, 1, {0x76, 0x00}, 0x00},        // 79
    {K::Simple, 1, {0x78, 0x00}, 0x00},        // 7A
    {K::Simple, 2, {0x2B, 0x09}, 0x00},        // 7B
    {K::Simple, 2, {0x2B, 0x0B}, 0x00},        // 7C
    {K::Simple, 2, {0x2B, 0x0D}, 0x00},        // 7D
    {K::Simple, 2, {0x2B, 0x0F}, 0x00},        // 7E
    {K::Unprintable, 1, {0x1D, 0x00}, 0x00},   // 7F
    {K::Unprintable, 1, {0x1E, 0x00}, 0x00},   // 80
    {K::Unprintable, 1, {0x1F, 0x00}, 0x00},   // 81
    {K::Unprintable, 1, {0x20, 0x00}, 0x00},   // 82
    {K::Unprintable, 1, {0x21, 0x00}, 0x00},   // 83
    {K::Unprintable, 1, {0x22, 0x00}, 0x00},   // 84
    {K::Unprintable, 1, {0x23, 0x00}, 0x00},   // 85
    {K::Unprintable, 1, {0x24, 0x00}, 0x00},   // 86
    {K::Unprintable, 1, {0x25, 0x00}, 0x00},   // 87
    {K::Unprintable, 1, {0x26, 0x00}, 0x00},   // 88
    {K::Unprintable, 1, {0x27, 0x00}, 0x00},   // 89
    {K::Unprintable, 1, {0x28, 0x00}, 0x00},   // 8A
    {K::Unprintable, 1, {0x29, 0x00}, 0x00},   // 8B
    {K::Unprintable, 1, {0x2A, 0x00}, 0x00},   // 8C
    {K::Unprintable, 1, {0x2B, 0x00}, 0x00},   // 8D
    {K::Unprintable, 1, {0x2C, 0x00}, 0x00},   // 8E
    {K::Unprintable, 1, {0x2D, 0x00}, 0x00},   // 8F
    {K::Unprintable, 1, {0x2E, 0x00}, 0x00},   // 90
    {K::Unprintable, 1, {0x2F, 0x00}, 0x00},   // 91
    {K::Unprintable, 1, {0x30, 0x00}, 0x00},   // 92
    {K::Unprintable, 1, {0x31, 0x00}, 0x00},   // 93
    {K::Unprintable, 1, {0x32, 0x00}, 0x00},   // 94
    {K::Unprintable, 1, {0x33, 0x00}, 0x00},   // 95
    {K::Unprintable, 1, {0x34, 0x00}, 0x00},   // 96
    {K::Unprintable, 1, {0x35, 0x00}, 0x00},   // 97
    {K::Unprintable, 1, {0x36, 0x00}, 0x00},   // 98
    {K::Unprintable, 1, {0x37, 0x00}, 0x00},   // 99
    {K::Unprintable, 1, {0x38, 0x00}, 0x00},   // 9A
    {K::Unprintable, 1, {0x39, 0x00}, 0x00},   // 9B
    {K::Unprintable, 1, {0x3A, 0x00}, 0x00},   // 9C
    {K::Unprintable, 1, {0x3B, 0x00}, 0x00},   // 9D
    {K::Unprintable, 1, {0x3C, 0x00}, 0x00},   // 9E
    {K::Unprintable, 1, {0x3D, 0x00}, 0x00},   // 9F
    {K::Simple, 2, {0x08, 0x02}, 0x00},        // A0
    {K::Simple, 2, {0x2B, 0x10}, 0x00},        // A1
    {K::Simple, 2, {0x34, 0xA6}, 0x00},        // A2
    {K::Simple, 2, {0x34, 0xA7}, 0x00},        // A3
    {K::Simple, 2, {0x34, 0xA8}, 0x00},        // A4
    {K::Simple, 2, {0x34, 0xA9}, 0x00},        // A5
    {K::Simple, 2, {0x2B, 0x11}, 0x00},        // A6
    {K::Simple, 2, {0x34, 0xAA}, 0x00},        // A7
    {K::Simple, 2, {0x2B, 0x12}, 0x00},        // A8
    {K::Simple, 2, {0x34, 0xAB}, 0x00},        // A9
    {K::International, 1, {0x4A, 0x00}, 0x03}, // AA
    {K::Simple, 2, {0x33, 0x05}, 0x00},        // AB
    {K::Simple, 2, {0x34, 0xAC}, 0x00},        // AC
    {K::Unprintable, 1, {0x83, 0x00}, 0x00},   // AD
    {K::Simple, 2, {0x34, 0xAD}, 0x00},        // AE
    {K::Simple, 2, {0x2B, 0x13}, 0x00},        // AF
    {K::Simple, 2, {0x34, 0xAE}, 0x00},        // B0
    {K::Simple, 2, {0x33, 0x04}, 0x00},        // B1
    {K::Simple, 1, {0x3A, 0x00}, 0x00},        // B2
    {K::Simple, 1, {0x3C, 0x00}, 0x00},        // B3
    {K::Simple, 2, {0x2B, 0x14}, 0x00},        // B4
    {K::Simple, 2, {0x34, 0xAF}, 0x00},        // B5
    {K::Simple, 2, {0x34, 0xB0}, 0x00},        // B6
    {K::Simple, 2, {0x34, 0xB1}, 0x00},        // B7
    {K::Simple, 2, {0x2B, 0x15}, 0x00},        // B8
    {K::Simple, 1, {0x38, 0x00}, 0x00},        // B9
    {K::International, 1, {0x64, 0x00}, 0x03}, // BA
    {K::Simple, 2, {0x33, 0x07}, 0x00},        // BB
    {K::Simple, 2, {0x37, 0x12}, 0x00},        // BC
    {K::Simple, 2, {0x37, 0x16}, 0x00},        // BD
    {K::Simple, 2, {0x37, 0x1A}, 0x00},        // BE
    {K::Simple, 2, {0x2B, 0x16}, 0x00},        // BF
    {K::International, 1, {0x4A, 0x00}, 0x0F}, // C0
    {K::International, 1, {0x4A, 0x00}, 0x0E}, // C1
    {K::International, 1, {0x4A, 0x00}, 0x12}, // C2
    {K::International, 1, {0x4A, 0x00}, 0x19}, // C3
    {K::International, 1, {0x4A, 0x00}, 0x13}, // C4
    {K::International, 1, {0x4A, 0x00}, 0x1A}, // C5
    {K::Simple, 2, {0x4A, 0x51}, 0x00},        // C6
    {K::International, 1, {0x4D, 0x00}, 0x1C}, // C7
    {K::International, 1, {0x51, 0x00}, 0x0F}, // C8
    {K::International, 1, {0x51, 0x00}, 0x0E}, // C9
    {K::International, 1, {0x51, 0x00}, 0x12}, // CA
    {K::International, 1, {0x51, 0x00}, 0x13}, // CB
    {K::International, 1, {0x59, 0x00}, 0x0F}, // CC
    {K::International, 1, {0x59, 0x00}, 0x0E}, // CD
    {K::International, 1, {0x59, 0x00}, 0x12}, // CE
    {K::International, 1, {0x59, 0x00}, 0x13}, // CF
    {K::International, 1, {0x4F, 0x00}, 0x68}, // D0
    {K::International, 1, {0x62, 0x00}, 0x19}, // D1
    {K::International, 1, {0x64, 0x00}, 0x0F}, // D2
    {K::International, 1, {0x64, 0x00}, 0x0E}, // D3
    {K::International, 1, {0x64, 0x00}, 0x12}, // D4
    {K::International, 1, {0x64, 0x00}, 0x19}, // D5
    {K::International, 1, {0x64, 0x00}, 0x13}, // D6
    {K::Simple, 2, {0x33, 0x09}, 0x00},        // D7
    {K::International, 1, {0x64, 0x00}, 0x21}, // D8
    {K::International, 1, {0x6F, 0x00}, 0x0F}, // D9
    {K::International, 1, {0x6F, 0x00}, 0x0E}, // DA
    {K::International, 1, {0x6F, 0x00}, 0x12}, // DB
    {K::International, 1, {0x6F, 0x00}, 0x13}, // DC
    {K::International, 1, {0x76, 0x00}, 0x0E}, // DD
    {K::Simple, 2, {0x6D, 0x57}, 0x00},        // DE
    {K::Simple, 2, {0x6B, 0x6B}, 0x00},        // DF
    {K::International, 1, {0x4A, 0x00}, 0x0F}, // E0
    {K::International, 1, {0x4A, 0x00}, 0x0E}, // E1
    {K::International, 1, {0x4A, 0x00}, 0x12}, // E2
    {K::International, 1, {0x4A, 0x00}, 0x19}, // E3
    {K::International, 1, {0x4A, 0x00}, 0x13}, // E4
    {K::International, 1, {0x4A, 0x00}, 0x1A}, // E5
    {K::Simple, 2, {0x4A, 0x51}, 0x00},        // E6
    {K::International, 1, {0x4D, 0x00}, 0x1C}, // E7
    {K::International, 1, {0x51, 0x00}, 0x0F}, // E8
    {K::International, 1, {0x51, 0x00}, 0x0E}, // E9
    {K::International, 1, {0x51, 0x00}, 0x12}, // EA
    {K::International, 1, {0x51, 0x00}, 0x13}, // EB
    {K::International, 1, {0x59, 0x00}, 0x0F}, // EC
    {K::International, 1, {0x59, 0x00}, 0x0E}, // ED
    {K::International, 1, {0x59, 0x00}, 0x12}, // EE
    {K::International, 1, {0x59, 0x00}, 0x13}, // EF
    {K::International, 1, {0x4F, 0x00}, 0x68}, // F0
    {K::International, 1, {0x62, 0x00}, 0x19}, // F1
    {K::International, 1, {0x64, 0x00}, 0x0F}, // F2
    {K::International, 1, {0x64, 0x00}, 0x0E}, // F3
    {K::International, 1, {0x64, 0x00}, 0x12}, // F4
    {K::International, 1, {0x64, 0x00}, 0x19}, // F5
    {K::International, 1, {0x64, 0x00}, 0x13}, // F6
    {K::Simple, 2, {0x33, 0x0A}, 0x00},        // F7
    {K::International, 1, {0x64, 0x00}, 0x21}, // F8
    {K::International, 1, {0x6F, 0x00}, 0x0F}, // F9
    {K::International, 1, {0x6F, 0x00}, 0x0E}, // FA
    {K::International, 1, {0x6F, 0x00}, 0x12}, // FB
    {K::International, 1, {0x6F, 0x00}, 0x13}, // FC
    {K::International, 1, {0x76, 0x00}, 0x0E}, // FD
    {K::Simple, 2, {0x6D, 0x57}, 0x00},        // FE
    {K::International, 1, {0x76, 0x00}, 0x13}, // FF
};

struct WideCode {
    char16_t c;
    Code code;
};

// The characters of Windows-1252 beyond Latin-1, ordered by code point.
constexpr WideCode Windows1252[] = {
    {0x0152, {K::Simple, 2, {0x64, 0x51}, 0x00}},        {0x0153, {K::Simple, 2, {0x64, 0x51}, 0x00}},
    {0x0160, {K::International, 1, {0x6B, 0x00}, 0x14}}, {0x0161, {K::International, 1, {0x6B, 0x00}, 0x14}},
    {0x0178, {K::International, 1, {0x76, 0x00}, 0x13}}, {0x017D, {K::International, 1, {0x78, 0x00}, 0x14}},
    {0x017E, {K::International, 1, {0x78, 0x00}, 0x14}}, {0x0192, {K::International, 1, {0x53, 0x00}, 0x7B}},
    {0x02C6, {K::International, 2, {0x2B, 0x02}, 0x03}}, {0x02DC, {K::Simple, 2, {0x2B, 0x1C}, 0x00}},
    {0x2013, {K::Unprintable, 1, {0x89, 0x00}, 0x00}},   {0x2014, {K::Unprintable, 1, {0x8B, 0x00}, 0x00}},
    {0x2018, {K::Simple, 2, {0x2B, 0x37}, 0x00}},        {0x2019, {K::Simple, 2, {0x2B, 0x38}, 0x00}},
    {0x201A, {K::Simple, 2, {0x2B, 0x39}, 0x00}},        {0x201C, {K::Simple, 2, {0x2B, 0x3B}, 0x00}},
    {0x201D, {K::Simple, 2, {0x2B, 0x3C}, 0x00}},        {0x201E, {K::Simple, 2, {0x2B, 0x3D}, 0x00}},
    {0x2020, {K::Simple, 2, {0x34, 0xB3}, 0x00}},        {0x2021, {K::Simple, 2, {0x34, 0xB4}, 0x00}},
    {0x2022, {K::Simple, 2, {0x34, 0xB5}, 0x00}},        {0x2026, {K::Simple, 2, {0x34, 0xB9}, 0x00}},
    {0x2030, {K::Simple, 2, {0x34, 0xBA}, 0x00}},        {0x2039, {K::Simple, 2, {0x2B, 0x46}, 0x00}},
    {0x203A, {K::Simple, 2, {0x2B, 0x47}, 0x00}},        {0x20AC, {K::Simple, 2, {0x35, 0xA1}, 0x00}},
    {0x2122, {K::Simple, 2, {0x6E, 0x04}, 0x00}},
};

const Code* lookup(char16_t c) {
    if (c < 256)
        return &Latin1[c];
    const auto* end = std::end(Windows1252);
    const auto* it = std::lower_bound(std::begin(Windows1252), end, c,
                                      [](const WideCode& w, char16_t v) { return w.c < v; });
    return (it != end && it->c == c) ? &it->code : nullptr;
}

constexpr quint8 EndText = 0x01;
constexpr quint8 EndKey = 0x00;
constexpr quint8 ExtraPlaceholder = 0x02;
constexpr quint8 UnprintableMarker = 0x06;

} // namespace

bool GeneralSortOrder::supports(QStringView text) {
    for (const QChar c : text.left(MaxKeyChars)) {
        if (!lookup(c.unicode()))
            return false;
    }
    return true;
}

bool GeneralSortOrder::appendKey(QStringView text, std::vector<quint8>& out) {
    text = text.left(MaxKeyChars);
    const std::size_t start = out.size();
    // Accent bytes: one per character up to the last accented one (placeholders for the others).
    std::array<quint8, MaxKeyChars> extra;
    int extraLength = 0;
    // Unprintable characters: 2-byte position, marker, code.
    std::array<quint8, MaxKeyChars * 4> unprintable;
    int unprintableLength = 0;

    int position = 0; // characters written into the text part so far
    for (const QChar qc : text) {
        const Code* code = lookup(qc.unicode());
        if (!code) {
            out.resize(start);
            return false;
        }
        switch (code->kind) {
        case K::Ignored:
            break;
        case K::Simple:
            out.insert(out.end(), code->bytes, code->bytes + code->length);
            ++position;
            break;
        case K::International:
            out.insert(out.end(), code->bytes, code->bytes + code->length);
            while (extraLength < position)
                extra[extraLength++] = ExtraPlaceholder;
            extra[extraLength++] = code->extra;
            ++position;
            break;
        case K::Unprintable: {
            // Accent bytes are one per character here, so the position Access records is simply
            // the number of characters written before this one.
            const int value = (7 + 4 * position) | 0x8000;
            unprintable[unprintableLength++] = quint8(value >> 8);
            unprintable[unprintableLength++] = quint8(value);
            unprintable[unprintableLength++] = UnprintableMarker;
            unprintable[unprintableLength++] = code->bytes[0];
            break;
        }
        }
    }
    out.push_back(EndText);
    while (extraLength > 0 && extra[extraLength - 1] <= ExtraPlaceholder)
        --extraLength;
    out.insert(out.end(), extra.begin(), extra.begin() + extraLength);
    if (unprintableLength > 0) {
        out.push_back(EndText);
        out.push_back(EndText);
        out.push_back(EndText);
        out.insert(out.end(), unprintable.begin(), unprintable.begin() + unprintableLength);
    }
    out.push_back(EndKey);
    return true;
}

} // namespace fiscora::jet
