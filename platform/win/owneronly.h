#pragma once

// Plain C++ against the Win32 API, without Qt (built and tested under Wine).

#include <string>
#include <string_view>

namespace velkoria::win {

// Replaces the file at path with bytes, atomically, as a file of the user
// running the program alone (full control; nothing taken from the folder's
// access list, which in a folder outside the user's profile, such as
// C:\Velkoria or a shared drive, lets every user of the PC read). The new file
// gets that access list when it is created, before anything is written to it
// and before it takes the file's place, so no other user can ever open it.
// A drive without access lists (FAT) stores the file without one. On any
// failure the old file stays as it was, no temporary file is left, and reason
// gets the system's description of the failure.
bool writeOwnerOnly(const std::wstring& path, std::string_view bytes, std::wstring* reason);

} // namespace velkoria::win
