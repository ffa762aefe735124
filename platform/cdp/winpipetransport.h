#pragma once

// Windows only.

#include "platform/cdp/transport.h"

#include <QObject>
#include <atomic>
#include <memory>

namespace velkoria::win {
class PipeChannel;
}

namespace velkoria::cdp {

// The browser's --remote-debugging-io-pipes as a Transport: a thin adapter over
// win::PipeChannel, which does the reading on a thread of its own (anonymous
// pipes have no overlapped I/O, so there is no handle a QWinEventNotifier could
// wait on). The reader thread's "a message has arrived" is handed to the event
// loop as a queued call, so the readable handler always runs on the program's
// thread, as with the POSIX pipe.
class WinPipeTransport : public Transport {
public:
    explicit WinPipeTransport(std::unique_ptr<win::PipeChannel> channel);
    ~WinPipeTransport() override;
    WinPipeTransport(const WinPipeTransport&) = delete;
    WinPipeTransport& operator=(const WinPipeTransport&) = delete;

    bool write(const QByteArray& message) override;
    ReadResult read(QByteArray& message) override;
    void setReadableHandler(std::function<void()> onReadable) override;
    void close() override;

private:
    void post();
    void deliver();
    void dropContext();

    std::unique_ptr<win::PipeChannel> m_channel;
    // Receives the queued calls. A call queued before the handler was changed
    // or the transport closed finds its token expired and does nothing.
    QObject* m_context = nullptr;
    std::shared_ptr<int> m_token;
    std::function<void()> m_onReadable;
    std::atomic<bool> m_posted{false};
    quint64 m_reads = 0; // on the program's thread only
};

} // namespace velkoria::cdp
