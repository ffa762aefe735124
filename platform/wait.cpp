// How the program waits for the browser
//
// Everything runs on the one user-interface thread, and the browser is slow
// next to it: a command takes milliseconds, a page up to its load limit. A
// handler that needs the browser's answer calls waitUntil(), which runs a
// local event loop (QEventLoop) until the answer is there or the deadline has
// passed. Inside that loop the program behaves as when it is idle:
//
// - Its windows paint and answer the window system: the window can be moved,
//   covered and uncovered, and still looks alive.
// - The browser's messages arrive the way they arrive when the program is
//   idle: the pipe's notifier (POSIX) or the queued call from the pipe's
//   reader thread (Windows) hands them to the connection, which dispatches
//   them (a command's answer, the page's load events) and calls wakeWaits().
//   A wait never reads the pipe itself.
// - Input, timer ticks and queued calls are delivered too. What they may do
//   is the application's decision, made in one table (app/useractions.h):
//   what needs no browser and waits for nothing runs at once (Exit and the
//   close box, which end the program, the blink, saving the account boxes);
//   everything else the user asks for waits until the running handler has
//   ended and then runs in the order given. So no scan starts inside a scan
//   and no click starts work inside a wait, no click is lost, and a message
//   box that a handler opens inside the wait can be answered.
//
// How a wait ends:
//
// - wakeWaits() and the wait's own deadline timer quit its loop: quitting
//   interrupts the event dispatcher, which is what ends a round of it on every
//   platform (on Windows a timer tick alone does not).
// - done() is looked at in the waiting handler's own frame, never from inside
//   the event loop: before the loop runs, each time the loop returns, and at
//   the deadline. Whatever done() throws (the browser has gone) goes to the
//   waiting handler as from any other call.
// - At the deadline done() gets one last look, and every condition on the
//   browser first takes what has already arrived (Connection::dispatchArrived):
//   a wait whose answer came while the program was busy elsewhere (a box, the
//   window being dragged) keeps it.
// - wakeWaits() quits every running loop; a wait whose condition does not
//   hold yet runs its loop again. So waits may nest, and each ends on its own
//   condition, the inner one first (a handler that runs at once inside
//   another's wait may wait too). A wait whose condition never holds is a
//   pause that still delivers events: BrowserWindow::waitForState polls the
//   window's state that way.
// - Nothing of a wait outlives it: its loop and its timer live on its own
//   stack, so no call of it fires after it has ended. What the loop deletes
//   meanwhile (a window closed with deleteLater) is nothing the waiting code
//   holds: the waits hold only the browser objects, which live until the
//   program ends.
#include "platform/wait.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <vector>

namespace velkoria {

namespace {
// The loops of the waits running now, the innermost last.
std::vector<QEventLoop*> running;
} // namespace

void wakeWaits() {
    for (QEventLoop* loop : running)
        loop->quit();
}

bool waitUntil(QDeadlineTimer deadline, const std::function<bool()>& done) {
    if (done())
        return true;
    if (deadline.hasExpired())
        return false;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer); // a coarse timer may end a long wait seconds late
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    running.push_back(&loop);
    struct Leave {
        QEventLoop* loop;
        ~Leave() { running.erase(std::find(running.begin(), running.end(), loop)); }
    } leave{&loop};
    for (;;) {
        // Started again should it have ticked a moment before the deadline.
        if (!deadline.isForever() && !limit.isActive())
            limit.start(int(std::clamp<qint64>(deadline.remainingTime(), 1, INT_MAX)));
        loop.exec();
        if (done())
            return true;
        if (deadline.hasExpired())
            return false;
    }
}

} // namespace velkoria
