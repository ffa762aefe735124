#include "console.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace marketsim {

Console::Console(QObject* parent) : QObject(parent), m_notifier(STDIN_FILENO, QSocketNotifier::Read) {
    connect(&m_notifier, &QSocketNotifier::activated, this, &Console::readAvailable);
}

void Console::say(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void Console::readAvailable() {
    char buffer[4096];
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (count > 0)
        m_pending.append(buffer, count);
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        emit lineReceived(QString::fromUtf8(line).trimmed());
    }
    if (count <= 0) {
        m_notifier.setEnabled(false);
        if (!m_pending.trimmed().isEmpty())
            emit lineReceived(QString::fromUtf8(m_pending).trimmed());
        m_pending.clear();
        emit endOfInput();
    }
}

} // namespace marketsim
