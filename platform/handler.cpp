#include "platform/handler.h"

namespace velkoria {

void runHandler(MessageSink& messages, ProgramEnd& end, const std::function<void()>& handler) {
    try {
        handler();
        return;
    } catch (const RuntimeError& error) {
        messages.show(uncaughtErrorText(error));
    } catch (const std::bad_alloc&) {
        messages.show(uncaughtErrorText(makeError(7, QStringLiteral("メモリが不足しています。"))));
    } catch (const std::exception& error) {
        // No exception may leave a handler into the event loop.
        messages.show(uncaughtErrorText(makeError(51, QString::fromLocal8Bit(error.what()))));
    }
    end.endNow(1);
}

} // namespace velkoria
