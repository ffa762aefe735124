#pragma once

// Plain C++, shared by the Qt code page 932 conversion and the Windows one.

#include <cstddef>

namespace velkoria {

// Characters that input methods outside Windows type where Windows types a
// look-alike that code page 932 holds: WAVE DASH where Windows has FULLWIDTH
// TILDE (0x8160), and so on. They are written as the bytes of the look-alike,
// so that text typed on any system can be saved and sent as Windows would.
struct Cp932LookAlike {
    char16_t typed;
    char16_t written;
};

inline constexpr Cp932LookAlike cp932LookAlikes[] = {
    {u'\u301C', u'\uFF5E'}, // WAVE DASH -> FULLWIDTH TILDE, 0x8160
    {u'\u2016', u'\u2225'}, // DOUBLE VERTICAL LINE -> PARALLEL TO, 0x8161
    {u'\u2212', u'\uFF0D'}, // MINUS SIGN -> FULLWIDTH HYPHEN-MINUS, 0x817C
    {u'\u00A2', u'\uFFE0'}, // CENT SIGN -> FULLWIDTH CENT SIGN, 0x8191
    {u'\u00A3', u'\uFFE1'}, // POUND SIGN -> FULLWIDTH POUND SIGN, 0x8192
    {u'\u00AC', u'\uFFE2'}, // NOT SIGN -> FULLWIDTH NOT SIGN, 0x81CA
    {u'\u2014', u'\u2015'}, // EM DASH -> HORIZONTAL BAR, 0x815C
};

// The character written in place of c.
constexpr char16_t cp932LookAlike(char16_t c) {
    for (const Cp932LookAlike& pair : cp932LookAlikes)
        if (pair.typed == c)
            return pair.written;
    return c;
}

} // namespace velkoria
