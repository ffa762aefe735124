// The browser process on Windows: a thin adapter over win::LaunchedBrowser,
// which starts it with the handle list and the job object.

#include "platform/cdp/browserprocess.h"

#include "platform/cdp/connection.h"
#include "platform/cdp/winpipetransport.h"
#include "platform/win/browserlaunch.h"

#include <QDir>

namespace velkoria::cdp {

namespace {

constexpr unsigned long kExitLimitMs = 3000;

std::wstring wide(const QString& text) {
    return text.toStdWString();
}

} // namespace

BrowserProcess::BrowserProcess(const QString& executable, const QStringList& arguments,
                               std::unique_ptr<Transport>& transport)
    : m_executable(executable) {
    std::vector<std::wstring> wideArguments;
    for (const QString& argument : arguments)
        wideArguments.push_back(wide(argument));
    std::wstring reason;
    m_browser = win::LaunchedBrowser::start(wide(QDir::toNativeSeparators(executable)), wideArguments, &reason);
    if (!m_browser) {
        BrowserStartError error(BrowserError::Kind::CannotRun, executable);
        error.message = QString::fromStdWString(reason);
        error.describe();
        throw error;
    }
    transport = std::make_unique<WinPipeTransport>(m_browser->takeChannel());
}

BrowserProcess::~BrowserProcess() {
    if (!m_browser->waitForExit(kExitLimitMs)) {
        m_browser->kill();
        m_browser->waitForExit(kExitLimitMs);
    }
}

qint64 BrowserProcess::processId() const {
    return qint64(m_browser->processId());
}

QString BrowserProcess::errorOutput() {
    const std::string tail = m_browser->errorOutput();
    // Chromium writes UTF-8, not the local code page (932 on a Japanese PC).
    return QString::fromUtf8(tail.data(), qsizetype(tail.size())).trimmed();
}

bool BrowserProcess::waitForExit(int milliseconds) {
    return m_browser->waitForExit(static_cast<unsigned long>(qMax(0, milliseconds)));
}

void BrowserProcess::allowForeground() {
    m_browser->allowForeground();
}

qint64 BrowserProcess::exitCode() const {
    unsigned long code = 0;
    return m_browser->exitCode(&code) ? qint64(code) : -1;
}

QList<qint64> BrowserProcess::jobProcesses() const {
    QList<qint64> ids;
    for (const unsigned long id : m_browser->jobProcesses())
        ids.append(qint64(id));
    return ids;
}

} // namespace velkoria::cdp
