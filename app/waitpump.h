#pragma once

class QWidget;

namespace velkoria {

// While the program waits for the browser, its windows keep painting and
// answer the window system, and two things still work: the exit button and
// closing the main window, which both end the program at once. Every other
// input during the wait is dropped (no click starts anything inside a wait),
// and the program's own timers do not tick in it.
void installWaitPump(QWidget* exitButton);

} // namespace velkoria
