#pragma once

#include "app/programend.h"
#include "platform/cdp/errors.h"
#include "platform/errors.h"
#include "platform/messages.h"

#include <QString>
#include <functional>

namespace velkoria {

// The message shown when the browser has gone away; the program ends when the
// user has dismissed it.
inline QString closedBrowserMessage() {
    return QStringLiteral("インターネットエクスプローラが終了しています。Velkoriaを終了します");
}

// A failure of the browser as the user is told of it: its error number
// (429 no browser started, 440 a command failed, 462 the browser gone) and
// the description in Japanese.
RuntimeError browserFailure(const BrowserError& error);

// The text of the box shown for an error that no handler catches.
QString uncaughtErrorText(const RuntimeError& error);

// Runs one event handler: the error boundary that every handler of the program
// runs in. When a handler runs while other work runs is the application's
// decision (app/useractions.h).
// - The browser gone, wherever it was learnt: the closed-browser message, then
//   the end of the program with status 0.
// - Any other error that the handler does not catch abandons it: the error box
//   (number and description), then the end with status 1.
// From the moment either box is up the program is ending: the ending hooks have
// stopped the timers, and every later handler is refused without running.
void runHandler(MessageSink& messages, ProgramEnd& end, const std::function<void()>& handler);

} // namespace velkoria
