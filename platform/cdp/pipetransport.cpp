#include "platform/cdp/pipetransport.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>
#include <utility>

namespace velkoria::cdp {

namespace {

// A full pipe means the browser has stopped reading; give up on it after this.
constexpr int kWriteLimitMs = 10000;

void prepare(int fd) {
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Writing to a pipe whose reader has gone raises SIGPIPE, which would end the
// program; the failed write (EPIPE) is what tells us the browser is gone. The
// signal is blocked for this thread while writing, and one raised by the write
// is taken off again, so the process-wide handling of SIGPIPE stays as it is.
class SigpipeBlock {
public:
    SigpipeBlock() {
        ::sigemptyset(&m_set);
        ::sigaddset(&m_set, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &m_set, &m_old);
        sigset_t pending;
        ::sigpending(&pending);
        m_wasPending = ::sigismember(&pending, SIGPIPE) == 1;
    }
    ~SigpipeBlock() {
        if (m_raised && !m_wasPending) {
            const timespec now{};
            while (::sigtimedwait(&m_set, nullptr, &now) < 0 && errno == EINTR) {
            }
        }
        ::pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    void raised() { m_raised = true; }

private:
    sigset_t m_set;
    sigset_t m_old;
    bool m_wasPending = false;
    bool m_raised = false;
};

int pollTimeout(QDeadlineTimer deadline) {
    const qint64 ms = deadline.remainingTime();
    return ms < 0 || ms > INT_MAX ? -1 : int(ms);
}

} // namespace

PipeTransport::PipeTransport(int readFd, int writeFd) : m_readFd(readFd), m_writeFd(writeFd) {
    prepare(m_readFd);
    prepare(m_writeFd);
}

PipeTransport::~PipeTransport() {
    close();
}

bool PipeTransport::write(const QByteArray& message) {
    if (m_writeFd < 0)
        return false;
    QByteArray data = message;
    data.append('\0');
    const QDeadlineTimer deadline(kWriteLimitMs);
    SigpipeBlock sigpipe;
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(m_writeFd, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{m_writeFd, POLLOUT, 0};
            if (::poll(&p, 1, pollTimeout(deadline)) > 0 || errno == EINTR)
                continue;
        }
        // EPIPE, another error, or the browser did not take the message in time.
        if (n < 0 && errno == EPIPE)
            sigpipe.raised();
        ::close(m_writeFd);
        m_writeFd = -1;
        return false;
    }
    return true;
}

bool PipeTransport::takeBuffered(QByteArray& message) {
    const qsizetype end = m_buffer.indexOf('\0', m_scanned);
    if (end < 0) {
        m_scanned = m_buffer.size();
        return false;
    }
    if (end + 1 == m_buffer.size()) {
        // The usual case: the buffer holds one whole message. It becomes the
        // message, without a copy, and the next message gets a buffer of its own.
        message = std::exchange(m_buffer, QByteArray());
        message.truncate(end);
    } else {
        message = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
    }
    m_scanned = 0;
    return true;
}

void PipeTransport::endOfInput() {
    m_endOfInput = true;
    // A notifier on a descriptor at end of file would fire for ever.
    if (m_notifier)
        m_notifier->setEnabled(false);
}

Transport::ReadResult PipeTransport::read(QByteArray& message) {
    char chunk[65536];
    for (;;) {
        if (takeBuffered(message))
            return ReadResult::Message;
        if (m_endOfInput || m_readFd < 0)
            return ReadResult::Closed;
        const ssize_t n = ::read(m_readFd, chunk, sizeof chunk);
        if (n > 0)
            m_buffer.append(chunk, n);
        else if (n < 0 && errno == EAGAIN)
            return ReadResult::Empty;
        else if (n < 0 && errno == EINTR)
            continue;
        else
            endOfInput(); // end of file, or a broken pipe
    }
}

void PipeTransport::setReadableHandler(std::function<void()> onReadable) {
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
    }
    if (m_readFd < 0 || !onReadable)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_readFd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [handler = std::move(onReadable)] { handler(); });
    m_notifier->setEnabled(!m_endOfInput);
}

void PipeTransport::close() {
    // close() may run inside the notifier's own signal: let the event loop delete it.
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
    }
    if (m_readFd >= 0)
        ::close(m_readFd);
    if (m_writeFd >= 0)
        ::close(m_writeFd);
    m_readFd = m_writeFd = -1;
}

} // namespace velkoria::cdp
