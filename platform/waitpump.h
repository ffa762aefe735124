#pragma once

#include <functional>

namespace velkoria {

// What the program does while it waits for the browser (a page that loads, a
// command that is answered): the main window sets this up so that its windows
// keep painting and the user can still end the program. Waits call it every
// kWaitPumpSliceMs at most. Without one (tests, tools) waits simply block.
using WaitPump = std::function<void()>;

inline constexpr int kWaitPumpSliceMs = 50;

void setWaitPump(WaitPump pump);
bool haveWaitPump();
// Runs the pump once; a call from inside the pump does nothing.
void runWaitPump();

} // namespace velkoria
