#pragma once

// Plain C++ against the Win32 API, without Qt.

namespace velkoria::win {

// Whether a window of another program is in the foreground: the user works
// there. False when no window is (the desktop at start-up, say).
bool otherProgramInForeground();

} // namespace velkoria::win
