#pragma once

#include "platform/cdp/errors.h"
#include "platform/cdp/transport.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

#if defined(Q_OS_WIN)
namespace velkoria::win {
class LaunchedBrowser;
}
#endif

namespace velkoria::cdp {

// The running browser process. Its standard error is kept (the last few
// kilobytes) so that a failed launch can show the browser's own words.
class BrowserProcess {
public:
    // Starts the executable with its control pipe (fds 3 and 4; on Windows the
    // pipes of --remote-debugging-io-pipes, added here) and returns
    // the program's end of that pipe in transport. Throws CannotStartBrowser
    // naming the executable when it cannot be started.
    BrowserProcess(const QString& executable, const QStringList& arguments, std::unique_ptr<Transport>& transport);
    // Call after the pipe is closed: the browser then ends by itself; one that
    // does not end within a few seconds is killed.
    ~BrowserProcess();
    BrowserProcess(const BrowserProcess&) = delete;
    BrowserProcess& operator=(const BrowserProcess&) = delete;

    const QString& executable() const { return m_executable; }
    qint64 processId() const;
    // The end of what the browser wrote to its standard error.
    QString errorOutput();
    // Waits (without the event loop) for the process to end.
    bool waitForExit(int milliseconds);
    // Lets the browser bring its window to the front (Windows asks the
    // foreground program to allow it); nothing elsewhere.
    void allowForeground();
#if defined(Q_OS_WIN)
    // The exit code of a browser that has ended; -1 while it runs.
    qint64 exitCode() const;
    // The processes in the browser's job object.
    QList<qint64> jobProcesses() const;
#endif

private:
    QString m_executable;
#if defined(Q_OS_WIN)
    std::unique_ptr<win::LaunchedBrowser> m_browser;
#else
    void keepErrorTail();

    QProcess m_process;
    QByteArray m_errorTail;
#endif
};

} // namespace velkoria::cdp
