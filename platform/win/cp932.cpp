#include "platform/win/cp932.h"

#include "platform/cp932lookalikes.h"

#include <windows.h>

namespace velkoria::win {

namespace {

constexpr UINT kCodePage = 932;

// Windows gives the single bytes 0x80, 0xA0 and 0xFD to 0xFF characters of
// their own (U+0080, U+F8F0 to U+F8F3); the program's other conversion holds
// them as no character at all. Both refuse them, so that a file reads and
// writes the same on every system.
bool windowsOnly(char16_t c) {
    return c == u'\u0080' || (c >= u'\uF8F0' && c <= u'\uF8F3');
}

const wchar_t* wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

} // namespace

bool encodeCp932(std::u16string_view text, std::string& bytes) {
    std::u16string typed(text);
    for (char16_t& c : typed) {
        if (windowsOnly(c))
            return false;
        c = cp932LookAlike(c);
    }
    if (typed.empty()) {
        bytes.clear();
        return true;
    }
    // No "best fit": without it Windows would write, say, '?' for an emoji or
    // 'a' for 'à' and report nothing; with it every such character shows in
    // usedDefault.
    BOOL usedDefault = FALSE;
    const int size = ::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide(typed.data()), int(typed.size()),
                                           nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault)
        return false;
    std::string out(size_t(size), '\0');
    if (::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide(typed.data()), int(typed.size()), out.data(), size,
                              nullptr, &usedDefault) != size ||
        usedDefault)
        return false;
    bytes = std::move(out);
    return true;
}

bool decodeCp932(std::string_view bytes, std::u16string& text) {
    if (bytes.empty()) {
        text.clear();
        return true;
    }
    // A lone lead byte, a lead byte before a byte that cannot follow it and an
    // unassigned pair all make the whole conversion fail.
    const int size =
        ::MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0);
    if (size <= 0)
        return false;
    std::u16string out(size_t(size), u'\0');
    if (::MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()),
                              reinterpret_cast<wchar_t*>(out.data()), size) != size)
        return false;
    for (const char16_t c : out)
        if (windowsOnly(c))
            return false;
    text = std::move(out);
    return true;
}

} // namespace velkoria::win
