#pragma once

// Plain C++ against the Win32 API, without Qt (built and tested under Wine).

#include <string>
#include <string_view>

namespace velkoria::win {

// The step of a whole-file write that failed: making the new file beside the
// old one, writing it, or moving it into the old one's place.
enum class WriteStep { Create, Write, Replace };

struct WriteFailure {
    WriteStep step = WriteStep::Create;
    unsigned long error = 0;
    std::wstring reason; // the system's description of error
};

// Replaces the file at path with bytes, atomically: a new file beside it is
// written and flushed, then moved into the file's place in one step. On any
// failure the old file stays as it was, no temporary file is left, and
// failure (if given) says where and why.
//
// The move is tried again for about half a second while another program
// holds the file (access denied or a sharing violation): a virus scanner
// checks each new file the moment it is written, and the program writes one
// after every scan. A read-only file is not replaced.
//
// ownerOnly: the file belongs to the user running the program alone (full
// control; nothing taken from the folder's access list, which in a folder
// outside the user's profile, such as C:\Velkoria or a shared drive, lets
// every user of the PC read). The new file gets that access list when it is
// created, before anything is written to it and before it takes the file's
// place, so no other user can ever open it. A drive without access lists
// (FAT) stores the file without one. Otherwise the file takes the folder's.
bool writeFileWhole(const std::wstring& path, std::string_view bytes, bool ownerOnly, WriteFailure* failure);

} // namespace velkoria::win
