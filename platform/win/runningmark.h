#pragma once

// Plain C++ against the Win32 API, without Qt.

namespace velkoria::win {

// Marks this logon session as running Velkoria until the process ends: the
// mutex "Local\Velkoria", which the setup program and the uninstaller look
// for before they touch the program's files (they are in use while it runs).
void markRunning();

} // namespace velkoria::win
