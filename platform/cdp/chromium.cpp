#include "platform/chromium.h"

#include "platform/cdp/browserprocess.h"
#include "platform/cdp/cdpbrowser.h"
#include "platform/cdp/connection.h"
#include "platform/errors.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace velkoria {

namespace {

using namespace cdp;

// The browser's first answer normally comes within a second; a first start
// after installation or on a slow disk takes longer.
constexpr int kFirstAnswerLimitMs = 30000;
// Commands are answered at once, except those sent during a navigation,
// which wait for the new document: allow for a slow server.
constexpr int kMinimumCallLimitMs = 30000;

QStringList usualPlaces() {
    QStringList places;
#if defined(Q_OS_WIN)
    for (const char* variable : {"ProgramFiles", "ProgramFiles(x86)", "LocalAppData"}) {
        const QString root = qEnvironmentVariable(variable);
        if (root.isEmpty())
            continue;
        places << root + QStringLiteral("/Google/Chrome/Application/chrome.exe")
               << root + QStringLiteral("/Microsoft/Edge/Application/msedge.exe")
               << root + QStringLiteral("/Chromium/Application/chrome.exe");
    }
#else
    // The binaries themselves where a distribution wraps them in a script.
    places << QStringLiteral("/opt/google/chrome/chrome") << QStringLiteral("/usr/bin/google-chrome-stable")
           << QStringLiteral("/usr/bin/google-chrome") << QStringLiteral("/opt/microsoft/msedge/msedge")
           << QStringLiteral("/usr/bin/microsoft-edge-stable") << QStringLiteral("/usr/bin/microsoft-edge")
           << QStringLiteral("/usr/lib/chromium/chromium") << QStringLiteral("/usr/bin/chromium")
           << QStringLiteral("/usr/bin/chromium-browser") << QStringLiteral("/snap/bin/chromium");
#endif
    return places;
}

bool isExecutableFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString findBrowser(const QString& configured) {
    if (!configured.isEmpty()) {
        const QString found = configured.contains(u'/') || configured.contains(u'\\')
                                  ? (isExecutableFile(configured) ? configured : QString())
                                  : QStandardPaths::findExecutable(configured);
        if (found.isEmpty())
            throw makeError(CannotStartBrowser, QStringLiteral("ブラウザが見つかりません: %1").arg(configured));
        return found;
    }
    for (const QString& place : usualPlaces())
        if (isExecutableFile(place))
            return place;
    throw makeError(CannotStartBrowser,
                    QStringLiteral("ブラウザ (Chrome, Edge, Chromium) が見つかりません。"
                                   "velkoria.ini の [browser] executable に実行ファイルを指定してください。"));
}

QStringList browserArguments(const QString& profileFolder) {
    return {
        // On Windows BrowserProcess adds the pipes' handles (--remote-debugging-io-pipes).
        QStringLiteral("--remote-debugging-pipe"),
            // A profile of the program's own: remote control of the user's default
            // profile is refused, and the user's own browsing stays apart.
            QStringLiteral("--user-data-dir=") + QDir::toNativeSeparators(profileFolder),
            QStringLiteral("--no-first-run"), QStringLiteral("--no-default-browser-check"),
            // A hidden (minimized) window would otherwise be throttled: timers,
            // rendering and loading slow down while the program scans.
            QStringLiteral("--disable-background-timer-throttling"), QStringLiteral("--disable-renderer-backgrounding"),
            QStringLiteral("--disable-backgrounding-occluded-windows"),
            // No traffic of the browser's own (updates, sync, field trials): the
            // marketplace is all it is there for, and a closed network would fill
            // its log with refused connections.
            QStringLiteral("--disable-background-networking"), QStringLiteral("--disable-component-update"),
            QStringLiteral("--disable-sync"),
#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
            // No keyring prompt popping up on a desktop with a keyring.
            QStringLiteral("--password-store=basic"),
#endif
    };
}

// The browser's own error output goes with the failure: it is what tells a
// missing display or library apart from a crash.
RuntimeError launchFailure(BrowserProcess& process, const QString& what, bool ended) {
    if (ended)
        process.waitForExit(2000); // let it finish writing
    QString detail = QStringLiteral("ブラウザ %1 %2").arg(QDir::toNativeSeparators(process.executable()), what);
    const QString output = process.errorOutput();
    if (!output.isEmpty())
        detail += u'\n' + output;
    return makeError(CannotStartBrowser, detail);
}

} // namespace

std::unique_ptr<Browser> launchBrowser(const Settings& settings, const QString& profileFolder) {
    const QString executable = findBrowser(settings.executable);
    QDir().mkpath(profileFolder);
    QStringList arguments = browserArguments(profileFolder);
    for (const QString& argument : settings.arguments)
        if (!argument.isEmpty())
            arguments << argument;
    arguments << QStringLiteral("about:blank");

    std::unique_ptr<Transport> transport;
    auto process = std::make_unique<BrowserProcess>(executable, arguments, transport);
    auto connection = std::make_unique<Connection>(std::move(transport));
    try {
        // Also the "are you there": a browser that cannot start ends here.
        connection->call(QStringLiteral("Browser.getVersion"), {}, {}, QDeadlineTimer(kFirstAnswerLimitMs));
    } catch (const RuntimeError& error) {
        connection.reset(); // closes the pipe
        if (error.number() == BrowserGone)
            throw launchFailure(*process, QStringLiteral("が起動直後に終了しました。"), true);
        throw launchFailure(*process, QStringLiteral("が %1 秒以内に応答しません。").arg(kFirstAnswerLimitMs / 1000),
                            false);
    }
    const int callLimitMs = qMax(kMinimumCallLimitMs, settings.loadTimeoutSeconds * 1000);
    auto browser = std::make_unique<CdpBrowser>(std::move(connection), callLimitMs, std::move(process));
    try {
        browser->attach();
    } catch (const RuntimeError& error) {
        throw launchFailure(*browser->process(), QStringLiteral("のページに接続できません。\n") + error.description(),
                            error.number() == BrowserGone);
    }
    return browser;
}

} // namespace velkoria
