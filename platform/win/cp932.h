#pragma once

// Plain C++ against the Win32 API, without Qt (built and tested under Wine).

#include <string>
#include <string_view>

namespace velkoria::win {

// Code page 932 with the system's own tables (MultiByteToWideChar and
// WideCharToMultiByte), for Qt builds without ICU. The rules are those of the
// program's other conversion: characters without a code, and bytes that are not
// code page 932, are refused, never replaced; the look-alikes of
// platform/cp932lookalikes.h are written as their code page 932 partners.
bool encodeCp932(std::u16string_view text, std::string& bytes);
bool decodeCp932(std::string_view bytes, std::u16string& text);

} // namespace velkoria::win
