#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <functional>

namespace velkoria::cdp {

// One message channel to the browser, carrying whole protocol messages (JSON
// text) both ways. The framing is the implementation's business: the POSIX
// pipe separates messages by a NUL byte; Windows will need its own channel
// (--remote-debugging-io-pipes) behind the same interface.
class Transport {
public:
    enum class ReadResult { Message, Timeout, Closed };

    virtual ~Transport() = default;

    // Sends one message. False when the channel is closed (the browser is gone).
    virtual bool write(const QByteArray& message) = 0;
    // Takes the next whole message, waiting at most until the deadline; an
    // expired deadline only takes what has already arrived. Blocks the thread:
    // it never runs the program's event loop.
    virtual ReadResult read(QByteArray& message, QDeadlineTimer deadline) = 0;
    // onReadable is called from the event loop whenever the browser has sent
    // something while the program was not reading (idle in its event loop).
    virtual void setReadableHandler(std::function<void()> onReadable) = 0;
    virtual void close() = 0;
};

} // namespace velkoria::cdp
