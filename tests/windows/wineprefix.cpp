#include "tests/windows/wineprefix.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>

namespace velkoria::test {

namespace {
// wine64 installed without its recommendations is not on PATH; its server
// lies beside it (`wine64 wineserver` would look for a Windows program).
QString wineServer() {
    return QFileInfo(QStringLiteral(VELKORIA_WINE)).absolutePath() + QStringLiteral("/wineserver");
}

bool finish(QProcess& process, int limitMs) {
    if (process.waitForFinished(limitMs))
        return true;
    process.kill();
    process.waitForFinished(10000);
    return false;
}
} // namespace

WinePrefix::WinePrefix() : m_dir(QDir::tempPath() + QStringLiteral("/velkoria-wine-XXXXXX")) {}

WinePrefix::~WinePrefix() {
    endAll();
}

QProcessEnvironment WinePrefix::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : m_extra.keys())
        env.insert(name, m_extra.value(name));
    env.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
    for (const QString& name : env.keys()) {
        if (name.startsWith(QLatin1String("QT_"))) {
            env.insert(QStringLiteral("WINE") + name, env.value(name));
            env.remove(name);
        }
    }
    env.insert(QStringLiteral("WINEPREFIX"), m_dir.path());
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    // No .NET or HTML engine installers when the prefix is made.
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    return env;
}

void WinePrefix::start(QProcess& process, const QString& program, const QStringList& arguments) const {
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral(VELKORIA_WINE), QStringList{program} + arguments);
}

WinePrefix::Result WinePrefix::run(const QString& program, const QStringList& arguments, int limitMs) const {
    QProcess wine;
    wine.setProcessChannelMode(QProcess::MergedChannels);
    start(wine, program, arguments);
    Result result;
    result.finished = finish(wine, limitMs);
    result.exitCode = wine.exitStatus() == QProcess::NormalExit ? wine.exitCode() : -1;
    result.output = QString::fromUtf8(wine.readAll());
    return result;
}

QString WinePrefix::make() const {
    QString failures;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        const Result result = run(QStringLiteral("cmd"), {QStringLiteral("/c"), QStringLiteral("ver")}, 180000);
        if (result.finished && result.exitCode == 0)
            return {};
        failures += QStringLiteral("wine cmd /c ver, run %1: %2\n%3\n")
                        .arg(attempt)
                        .arg(result.finished ? QString::number(result.exitCode) : QStringLiteral("no end"))
                        .arg(result.output);
        endAll();
    }
    return failures;
}

bool WinePrefix::server(const QString& option, int limitMs) const {
    QProcess server;
    server.setProcessEnvironment(environment());
    server.start(wineServer(), {option});
    return finish(server, limitMs) && server.exitStatus() == QProcess::NormalExit && server.exitCode() == 0;
}

bool WinePrefix::waitForAll(int limitMs) const {
    return server(QStringLiteral("-w"), limitMs);
}

void WinePrefix::endAll() const {
    // Wine's first run makes dosdevices; the registry files are written only
    // when the server ends, so they cannot tell whether one still runs.
    if (QFileInfo::exists(m_dir.path() + QStringLiteral("/dosdevices")))
        server(QStringLiteral("-k"), 20000);
}

QString WinePrefix::windowsPath(const QString& linuxPath) const {
    QString path = QFileInfo(linuxPath).absoluteFilePath();
    const QString driveC = m_dir.path() + QStringLiteral("/drive_c");
    if (path == driveC || path.startsWith(driveC + u'/'))
        path = QStringLiteral("C:") + path.mid(driveC.size());
    else
        path = QStringLiteral("Z:") + path;
    return path.replace(u'/', u'\\');
}

QString WinePrefix::userFolder(const QString& relative) const {
    // Wine names it after the Linux user; "Public" is the folder of all users.
    const QDir users(m_dir.path() + QStringLiteral("/drive_c/users"));
    QStringList names = users.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    names.removeAll(QStringLiteral("Public"));
    return names.isEmpty() ? QString() : users.filePath(names.first() + u'/' + relative);
}

} // namespace velkoria::test
