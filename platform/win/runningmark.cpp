#include "platform/win/runningmark.h"

#include <windows.h>

namespace velkoria::win {

void markRunning() {
    // Never closed: the system closes it when the process ends, however it ends.
    static const HANDLE mark = ::CreateMutexW(nullptr, FALSE, L"Local\\Velkoria");
    (void)mark;
}

} // namespace velkoria::win
