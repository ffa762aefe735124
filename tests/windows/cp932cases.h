#pragma once

// Plain C++: one table of code page 932 cases that both conversions must pass,
// the Qt one (tests/platform/textfile_test.cpp) and the Windows one
// (win32/wintest.cpp, under Wine).

#include <string_view>

namespace velkoria::test {

struct Cp932Case {
    enum Kind {
        Both,        // text encodes to bytes and bytes decode to text
        EncodesTo,   // text encodes to bytes; the bytes decode to another character
        DecodesTo,   // bytes decode to text; the text encodes to other bytes
        Unencodable, // text is refused when encoding
        Undecodable, // bytes are refused when decoding
    };
    const char* name;
    Kind kind;
    std::u16string_view text;
    std::string_view bytes;
};

using namespace std::string_view_literals;

inline constexpr Cp932Case cp932Cases[] = {
    {"Japanese", Cp932Case::Both, u"見積件数ホームページ",
     "\x8C\xA9\x90\xCF\x8C\x8F\x90\x94\x83\x7A\x81\x5B\x83\x80\x83\x79\x81\x5B\x83\x57"sv},
    {"half-width kana", Cp932Case::Both, u"ﾃｽﾄｶﾃｺﾞﾘ", "\xC3\xBD\xC4\xB6\xC3\xBA\xDE\xD8"sv},
    {"NEC special characters", Cp932Case::Both, u"①㈱≒", "\x87\x40\x87\x8A\x81\xE0"sv},
    {"NEC duplicate of a JIS character", Cp932Case::DecodesTo, u"≒", "\x87\x90"sv},
    {"IBM extension", Cp932Case::Both, u"纊ⅰ￤", "\xFA\x5C\xFA\x40\xFA\x55"sv},
    {"NEC-selected IBM extension", Cp932Case::DecodesTo, u"纊", "\xED\x40"sv},
    {"full-width look-alikes", Cp932Case::Both, u"\uFF5E\u2225\uFF0D\uFFE0\uFFE1\uFFE2\u2015",
     "\x81\x60\x81\x61\x81\x7C\x81\x91\x81\x92\x81\xCA\x81\x5C"sv},
    {"look-alikes typed outside Windows", Cp932Case::EncodesTo, u"\u301C\u2016\u2212\u00A2\u00A3\u00AC\u2014",
     "\x81\x60\x81\x61\x81\x7C\x81\x91\x81\x92\x81\xCA\x81\x5C"sv},
    {"password with a wave dash", Cp932Case::EncodesTo, u"pass\u301Cword", "pass\x81\x60word"sv},
    {"CR LF and ASCII", Cp932Case::Both, u"a,\"b\" \\~\r\n", "a,\"b\" \\~\r\n"sv},
    {"empty", Cp932Case::Both, u"", ""sv},
    {"emoji", Cp932Case::Unencodable, u"見\U0001F600", {}},
    {"yen sign (no best fit)", Cp932Case::Unencodable, u"¥", {}},
    {"accented letter (no best fit)", Cp932Case::Unencodable, u"à", {}},
    {"C1 control", Cp932Case::Unencodable, u"\u0080", {}},
    {"lone lead byte", Cp932Case::Undecodable, {}, "ab\x82"sv},
    {"lead byte before a space", Cp932Case::Undecodable, {}, "\x82 a"sv},
    {"unassigned pair", Cp932Case::Undecodable, {}, "\x85\x40"sv},
    {"single bytes without a character", Cp932Case::Undecodable, {}, "\xA0"sv},
    {"byte 0x80", Cp932Case::Undecodable, {}, "\x80"sv},
    {"byte 0xFD", Cp932Case::Undecodable, {}, "\xFD"sv},
};

} // namespace velkoria::test
