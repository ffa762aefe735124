#pragma once

#include "platform/cdp/transport.h"

#include <memory>

class QSocketNotifier;

namespace velkoria::cdp {

// The browser's --remote-debugging-pipe: the program writes NUL-terminated
// JSON messages to writeFd (the browser's fd 3) and reads them from readFd
// (the browser's fd 4). Takes ownership of both descriptors.
class PipeTransport : public Transport {
public:
    PipeTransport(int readFd, int writeFd);
    ~PipeTransport() override;
    PipeTransport(const PipeTransport&) = delete;
    PipeTransport& operator=(const PipeTransport&) = delete;

    bool write(const QByteArray& message) override;
    ReadResult read(QByteArray& message) override;
    void setReadableHandler(std::function<void()> onReadable) override;
    void close() override;

private:
    bool takeBuffered(QByteArray& message);
    void endOfInput();

    int m_readFd;
    int m_writeFd;
    bool m_endOfInput = false;
    QByteArray m_buffer;
    qsizetype m_scanned = 0; // bytes of m_buffer known to hold no separator
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace velkoria::cdp
