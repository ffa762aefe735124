#pragma once

#include <QDeadlineTimer>
#include <functional>

namespace velkoria {

// The program's one way to wait for the browser (a command's answer, the
// page's session, a page, the window's state): the calling handler runs a
// local event loop until done() holds or the deadline passes, so that the
// program's windows keep painting meanwhile. wait.cpp tells the whole story.
//
// Returns whether done() held. done() is looked at in the caller's own frame
// (it may throw; the exception never crosses the event loop): at once, each
// time the wait is woken, and one last time at the deadline. Needs a
// QCoreApplication unless the deadline has already passed.
bool waitUntil(QDeadlineTimer deadline, const std::function<bool()>& done);

// Something a wait may be waiting for has happened (the browser connection
// has dispatched what the browser sent): every running wait looks at its
// condition again.
void wakeWaits();

} // namespace velkoria
