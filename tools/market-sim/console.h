#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

namespace marketsim {

// Reads command lines from standard input without blocking the event loop.
class Console : public QObject {
    Q_OBJECT
public:
    explicit Console(QObject* parent = nullptr);

    // Writes one line to standard output and flushes it, so a test harness sees it at once.
    static void say(const QString& line);

signals:
    void lineReceived(const QString& line);
    void endOfInput();

private:
    void readAvailable();

    QSocketNotifier m_notifier;
    QByteArray m_pending;
};

} // namespace marketsim
