#pragma once

#include "platform/errors.h"
#include "platform/messages.h"

#include <functional>

namespace velkoria {

// What a handler does when it starts while another one runs. The program has
// one thread, so that happens when its event comes from inside the other's
// wait for the browser or its message box (their event loops deliver every
// event; see platform/wait.cpp).
enum class Overlap {
    // Not run at all: a click or a tick that would start work inside work
    // (a scan inside a scan, a search inside a page wait).
    Drop,
    // Run once the running handler has ended: a change the window already
    // shows (a typed cycle), so that the window and the program agree.
    Defer,
    // Run at once: ending the program, the blink, saving the account boxes.
    // None of them uses the browser or waits for it.
    Run,
};

// Runs one event handler; every handler of the program runs through here.
// - The browser gone (BrowserGoneError), wherever it was learnt: the
//   closed-browser message, then the end of the program with status 0.
// - Any other error that the handler does not catch abandons it: the error box
//   (number and description), then the end with status 1.
// From the moment either box is up the program is ending: the ending hooks have
// stopped the timers, and every later handler is refused without running.
void runHandler(MessageSink& messages, ProgramEnd& end, const std::function<void()>& handler,
                Overlap overlap = Overlap::Drop);

// Wraps a handler for connecting to a signal.
template <typename F> auto guarded(MessageSink& messages, ProgramEnd& end, F handler) {
    return [&messages, &end, handler](auto&&...) { runHandler(messages, end, handler); };
}

} // namespace velkoria
