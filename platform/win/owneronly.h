#pragma once

// Plain C++ against the Win32 API, without Qt (built and tested under Wine).

#include <string>

namespace velkoria::win {

// Gives the file an access list of its own that lets in the user running the
// program only (full control), instead of the one it takes from its folder:
// a program folder outside the user's profile (C:\Velkoria, a shared drive)
// lets every user of the PC read its files. False when the system refuses.
bool restrictToOwner(const std::wstring& path);

} // namespace velkoria::win
