#pragma once

#include <QByteArray>
#include <functional>

namespace velkoria::cdp {

// One message channel to the browser, carrying whole protocol messages (JSON
// text) both ways. The framing is the implementation's business: the POSIX
// pipe (PipeTransport) separates messages by a NUL byte, the Windows pipes
// (WinPipeTransport) are read by a thread of their own.
class Transport {
public:
    enum class ReadResult { Message, Empty, Closed };

    virtual ~Transport() = default;

    // Sends one message. False when the channel is closed (the browser is gone).
    virtual bool write(const QByteArray& message) = 0;
    // Takes the next whole message that has arrived, without waiting: Empty
    // when none has, Closed once the browser has ended the channel.
    virtual ReadResult read(QByteArray& message) = 0;
    // onReadable is called from the program's event loop (idle or inside a
    // wait) whenever something has arrived; an empty function stops that.
    virtual void setReadableHandler(std::function<void()> onReadable) = 0;
    virtual void close() = 0;
};

} // namespace velkoria::cdp
