#include "platform/cdp/browserprocess.h"

#include "platform/cdp/connection.h"
#include "platform/cdp/pipetransport.h"

#include <fcntl.h>
#include <unistd.h>

namespace velkoria::cdp {

namespace {

BrowserStartError cannotRun(const QString& executable, const QString& why) {
    BrowserStartError error(BrowserError::Kind::CannotRun, executable);
    error.message = why;
    error.describe();
    return error;
}

constexpr qsizetype kErrorTailBytes = 4096;
constexpr int kStartLimitMs = 10000;
constexpr int kExitLimitMs = 3000;

} // namespace

BrowserProcess::BrowserProcess(const QString& executable, const QStringList& arguments,
                               std::unique_ptr<Transport>& transport)
    : m_executable(executable) {
    // toBrowser: the program writes, the browser reads on fd 3.
    // fromBrowser: the browser writes on fd 4, the program reads.
    int toBrowser[2];
    int fromBrowser[2];
    if (::pipe2(toBrowser, O_CLOEXEC) != 0)
        throw cannotRun(executable, QStringLiteral("cannot create its pipes"));
    if (::pipe2(fromBrowser, O_CLOEXEC) != 0) {
        ::close(toBrowser[0]);
        ::close(toBrowser[1]);
        throw cannotRun(executable, QStringLiteral("cannot create its pipes"));
    }

    // Runs in the child between fork and exec. The ends are first moved above
    // fd 10 (close-on-exec), since either may itself sit on fd 3 or 4; dup2
    // then gives the browser fds 3 and 4 without close-on-exec.
    m_process.setChildProcessModifier([in = toBrowser[0], out = fromBrowser[1]] {
        const int movedIn = ::fcntl(in, F_DUPFD_CLOEXEC, 10);
        const int movedOut = ::fcntl(out, F_DUPFD_CLOEXEC, 10);
        if (movedIn < 0 || movedOut < 0 || ::dup2(movedIn, 3) < 0 || ::dup2(movedOut, 4) < 0)
            ::_exit(127);
    });
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    QObject::connect(&m_process, &QProcess::readyReadStandardError, &m_process, [this] { keepErrorTail(); });
    m_process.start(executable, arguments);
    const bool started = m_process.waitForStarted(kStartLimitMs);

    // The browser's ends belong to the browser alone: with a copy kept here the
    // pipe would never report the browser's end.
    ::close(toBrowser[0]);
    ::close(fromBrowser[1]);
    if (!started) {
        ::close(toBrowser[1]);
        ::close(fromBrowser[0]);
        throw cannotRun(executable, m_process.errorString());
    }
    transport = std::make_unique<PipeTransport>(fromBrowser[0], toBrowser[1]);
}

BrowserProcess::~BrowserProcess() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    if (!m_process.waitForFinished(kExitLimitMs)) {
        m_process.kill();
        m_process.waitForFinished(kExitLimitMs);
    }
}

void BrowserProcess::keepErrorTail() {
    m_errorTail += m_process.readAllStandardError();
    if (m_errorTail.size() > kErrorTailBytes)
        m_errorTail.remove(0, m_errorTail.size() - kErrorTailBytes);
}

QString BrowserProcess::errorOutput() {
    keepErrorTail();
    // Chromium writes UTF-8, whatever the system's code page.
    return QString::fromUtf8(m_errorTail).trimmed();
}

qint64 BrowserProcess::processId() const {
    return m_process.processId();
}

bool BrowserProcess::waitForExit(int milliseconds) {
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(milliseconds);
}

void BrowserProcess::allowForeground() {
    // The window manager decides what comes to the front.
}

} // namespace velkoria::cdp
