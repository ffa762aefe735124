#include "app/handler.h"

#include <exception>

namespace velkoria {

QString uncaughtErrorText(const RuntimeError& error) {
    return QStringLiteral("実行時エラー '%1':\n\n%2").arg(error.number()).arg(error.description());
}

void runHandler(MessageSink& messages, ProgramEnd& end, const std::function<void()>& handler) {
    // Once the program is ending (its last box is up), nothing runs any more:
    // not a timer tick, not a click in a window behind the box.
    if (end.ending())
        return;
    QString text; // the box that ends the program, if the handler failed
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
        text = uncaughtErrorText(makeError(OutOfMemory));
    } catch (const std::exception& error) {
        // No exception may leave a handler into the event loop.
        text = uncaughtErrorText(makeError(InternalError, QString::fromLocal8Bit(error.what())));
    }
    end.beginEnding(exitCode);
    messages.show(text);
    end.endNow(exitCode);
}

} // namespace velkoria
