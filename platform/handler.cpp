#include "platform/handler.h"

namespace velkoria {

void runHandler(MessageSink& messages, ProgramEnd& end, const std::function<void()>& handler) {
    // Once the program is ending (its last box is up), nothing runs any more:
    // not a timer tick, not a click in a window behind the box.
    if (end.ending())
        return;
    QString text;
    int exitCode = 1;
    try {
        handler();
        return;
    } catch (const BrowserGoneError&) {
        // The user closed the browser: a clean end, whatever the handler was doing.
        text = closedBrowserMessage();
        exitCode = 0;
    } catch (const RuntimeError& error) {
        text = uncaughtErrorText(error);
    } catch (const std::bad_alloc&) {
        text = uncaughtErrorText(makeError(7, QStringLiteral("メモリが不足しています。")));
    } catch (const std::exception& error) {
        // No exception may leave a handler into the event loop.
        text = uncaughtErrorText(makeError(51, QString::fromLocal8Bit(error.what())));
    }
    end.beginEnding(exitCode);
    messages.show(text);
    end.endNow(exitCode);
}

} // namespace velkoria
