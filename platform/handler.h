#pragma once

#include "platform/errors.h"
#include "platform/messages.h"

#include <functional>

namespace velkoria {

// Runs one event handler. A runtime error that the handler does not catch
// abandons it: the error box (number and description) is shown and the
// program ends. This is the one place that does it, for every handler.
void runHandler(MessageSink& messages, ProgramEnd& end, const std::function<void()>& handler);

// Wraps a handler for connecting to a signal.
template <typename F> auto guarded(MessageSink& messages, ProgramEnd& end, F handler) {
    return [&messages, &end, handler](auto&&...) { runHandler(messages, end, handler); };
}

} // namespace velkoria
