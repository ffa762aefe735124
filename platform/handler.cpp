#include "platform/handler.h"

#include <exception>
#include <vector>

namespace velkoria {

namespace {
// Handlers on the stack now (an Overlap::Run one may run inside another).
int running = 0;
// Overlap::Defer handlers that came while one ran, in their order.
std::vector<std::function<void()>> deferred;
} // namespace

void runHandler(MessageSink& messages, ProgramEnd& end, const std::function<void()>& handler, Overlap overlap) {
    // Once the program is ending (its last box is up), nothing runs any more:
    // not a timer tick, not a click in a window behind the box.
    if (end.ending())
        return;
    if (running > 0 && overlap == Overlap::Drop)
        return;
    if (running > 0 && overlap == Overlap::Defer) {
        deferred.push_back([&messages, &end, handler] { runHandler(messages, end, handler); });
        return;
    }
    QString text; // the box that ends the program, if the handler failed
    int exitCode = 1;
    {
        ++running;
        struct Leave {
            ~Leave() {
                // A program that ends here (or a test that stops it) leaves nothing for later.
                if (--running == 0 && std::uncaught_exceptions() > 0)
                    deferred.clear();
            }
        } leave;
        try {
            handler();
        } catch (const BrowserGoneError&) {
            // The user closed the browser: a clean end, whatever the handler was doing.
            text = closedBrowserMessage();
            exitCode = 0;
        } catch (const RuntimeError& error) {
            text = uncaughtErrorText(error);
        } catch (const std::bad_alloc&) {
            text = uncaughtErrorText(makeError(OutOfMemory));
        } catch (const std::exception& error) {
            // No exception may leave a handler into the event loop.
            text = uncaughtErrorText(makeError(InternalError, QString::fromLocal8Bit(error.what())));
        }
    }
    if (text.isEmpty()) {
        // The outermost handler has ended: what was deferred meanwhile runs now.
        while (running == 0 && !deferred.empty() && !end.ending()) {
            const std::function<void()> next = deferred.front();
            deferred.erase(deferred.begin());
            next();
        }
        return;
    }
    deferred.clear();
    end.beginEnding(exitCode);
    messages.show(text);
    end.endNow(exitCode);
}

} // namespace velkoria
