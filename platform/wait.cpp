// How the program waits for the browser
//
// Everything runs on the one user-interface thread, and the browser is slow
// next to it: a command takes milliseconds, a page up to its load limit. A
// handler that needs the browser's answer calls waitUntil(), which runs a
// local event loop until the answer is there or the deadline has passed.
// Inside that loop the program behaves as when it is idle:
//
// - Its windows paint and answer the window system: the window can be moved,
//   covered and uncovered, and still looks alive.
// - The browser's messages arrive the way they arrive when the program is
//   idle: the pipe's notifier (POSIX) or the queued call from the pipe's
//   reader thread (Windows) hands them to the connection, which dispatches
//   them (a command's answer, the page's load events). A wait never reads the
//   pipe itself, and nothing needs to tell it that something has arrived:
//   whatever the loop has delivered, the wait looks at its condition again.
// - Input, timer ticks and queued calls are delivered too. What they may do
//   is decided in one place, runHandler (platform/handler.h): a handler that
//   starts while another runs is dropped (a click, a scan tick), or deferred
//   until the other has ended (the cycle box), except the few that may always
//   run and use no browser: Exit and the close box, which end the program at
//   once, the blink tick, and saving the account boxes. So no scan starts
//   inside a scan and no click starts work inside a wait, while a message box
//   that one of those opens inside the wait can be answered.
//
// How a wait ends:
//
// - done() is looked at in the waiting handler's own frame, never from inside
//   the event loop: before the loop runs, after each round of it, and at the
//   deadline, which a timer of the wait's own marks. Whatever done() throws
//   (the browser has gone) goes to the waiting handler as from any other call.
// - At the deadline done() gets one last look, and every condition on the
//   browser first takes what has already arrived (Connection::dispatchArrived):
//   a wait whose answer came while the program was busy elsewhere (a box, the
//   window being dragged) keeps it.
// - Should waits nest (none do today: the handlers that may run inside a wait
//   use no browser), each ends on its own condition, the inner one first.
// - Nothing of a wait outlives it: its timer lives on its own stack, so no
//   call of it fires after it has ended. What the loop deletes meanwhile (a
//   window closed with deleteLater) is nothing the waiting code holds: the
//   waits hold only the browser objects, which live until the program ends.
#include "platform/wait.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <climits>

namespace velkoria {

bool waitUntil(QDeadlineTimer deadline, const std::function<bool()>& done) {
    QTimer limit; // its tick ends the round of the loop that reaches the deadline
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer); // a coarse timer may end a long wait seconds late
    for (;;) {
        if (done())
            return true;
        if (deadline.hasExpired())
            return false;
        // Started again should it have ticked a moment before the deadline.
        if (!deadline.isForever() && !limit.isActive())
            limit.start(int(std::clamp<qint64>(deadline.remainingTime(), 1, INT_MAX)));
        // One round: blocks until something comes, delivers it, returns.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

} // namespace velkoria
