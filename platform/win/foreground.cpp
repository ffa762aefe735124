#include "platform/win/foreground.h"

#include <windows.h>

namespace velkoria::win {

bool otherProgramInForeground() {
    const HWND window = ::GetForegroundWindow();
    DWORD process = 0;
    return window && ::GetWindowThreadProcessId(window, &process) && process != ::GetCurrentProcessId();
}

} // namespace velkoria::win
