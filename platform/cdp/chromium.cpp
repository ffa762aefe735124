#include "platform/cdp/chromium.h"

#include "platform/cdp/browserprocess.h"
#include "platform/cdp/cdpbrowser.h"
#include "platform/cdp/connection.h"
#include "platform/cdp/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QSysInfo>
#include <QTemporaryFile>

#if !defined(Q_OS_WIN)
#include <csignal>
#include <sys/types.h>
#endif

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
    // Chrome where the user has installed it, for all users or for this one
    // alone (%LOCALAPPDATA%), before Edge, which every Windows 10 and 11 PC
    // has; Chromium last.
    for (const char* browser : {"/Google/Chrome/Application/chrome.exe", "/Microsoft/Edge/Application/msedge.exe",
                                "/Chromium/Application/chrome.exe"}) {
        for (const char* variable : {"ProgramFiles", "ProgramFiles(x86)", "LocalAppData"}) {
            const QString root = qEnvironmentVariable(variable);
            if (!root.isEmpty())
                places << root + QLatin1String(browser);
        }
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
            throw BrowserStartError(BrowserError::Kind::NotFound, configured);
        return found;
    }
    const QString installed = installedBrowser();
    if (!installed.isEmpty())
        return installed;
    throw BrowserStartError(BrowserError::Kind::NotFound);
}

QStringList browserArguments(const QString& profileFolder) {
    return {
        // On Windows BrowserProcess adds the pipes' handles (--remote-debugging-io-pipes).
        QStringLiteral("--remote-debugging-pipe"),
            // A profile of the program's own: remote control of the user's default
            // profile is refused, and the user's own browsing stays apart.
            QStringLiteral("--user-data-dir=") + QDir::toNativeSeparators(profileFolder),
            QStringLiteral("--no-first-run"), QStringLiteral("--no-default-browser-check"),
            // No window of the browser's own at start: the program makes its
            // page in a minimized window, which is never on the screen before
            // the user asks for it (a normal window minimized once the browser
            // answers was on the screen for up to 185 ms).
            QStringLiteral("--no-startup-window"),
            // A hidden (minimized) window would otherwise be throttled: timers,
            // rendering and loading slow down while the program scans.
            QStringLiteral("--disable-background-timer-throttling"), QStringLiteral("--disable-renderer-backgrounding"),
            QStringLiteral("--disable-backgrounding-occluded-windows"),
            // No traffic of the browser's own (updates, sync, field trials): the
            // marketplace is all it is there for, and a closed network would fill
            // its log with refused connections.
            QStringLiteral("--disable-background-networking"), QStringLiteral("--disable-component-update"),
            QStringLiteral("--disable-sync"),
            // The program closes the browser at its own end; should the browser
            // have been killed all the same (the program killed, or a browser
            // that did not end in time), its next start shows no "Restore
            // pages?" bubble over the marketplace.
            QStringLiteral("--hide-crash-restore-bubble"),
#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
            // No keyring prompt popping up on a desktop with a keyring.
            QStringLiteral("--password-store=basic"),
#endif
#if defined(Q_OS_WIN)
            // The browser must stay the process that holds the pipes: Chrome
            // started by a program run as administrator relaunches itself
            // without elevation, and Edge relaunches itself under a
            // compatibility layer (also left out of its environment).
            //
            // No --enable-logging: it routes the output of every process of
            // the browser to a console, and a helper process whose parent has
            // none (the program is a window program) opens a console window of
            // its own. A failed start is told by its exit code, and by what the
            // browser writes to standard error all the same.
            QStringLiteral("--do-not-de-elevate"), QStringLiteral("--edge-skip-compat-layer-relaunch"),
#endif
    };
}

// A profile folder that takes no files, and why: the folder (or the nearest
// folder above it that exists) is a file, on a read-only drive, on a full
// disk, or not writable for the user.
BrowserStartError profileFailure(const QString& folder, BrowserError::Problem problem = BrowserError::Problem::None) {
    BrowserStartError error(BrowserError::Kind::ProfileUnusable, folder);
    if (problem == BrowserError::Problem::None) {
        QString existing = folder;
        while (!QFileInfo(existing).exists()) {
            const QString parent = QFileInfo(existing).absolutePath();
            if (parent == existing)
                break;
            existing = parent;
        }
        const QFileInfo info(existing);
        const QStorageInfo storage(existing);
        if (info.exists() && !info.isDir()) {
            problem = BrowserError::Problem::NotAFolder;
            error.problemPath = existing;
        } else if (storage.isValid() && storage.isReadOnly()) {
            problem = BrowserError::Problem::ReadOnlyDrive;
        } else if (storage.isValid() && storage.bytesAvailable() >= 0 && storage.bytesAvailable() < 4 * 1024 * 1024) {
            // Less than a few megabytes: the browser could not even write its profile.
            problem = BrowserError::Problem::DiskFull;
        } else {
            problem = info.isWritable() ? BrowserError::Problem::NotWritable : BrowserError::Problem::NoPermission;
        }
    }
    error.problem = problem;
    error.describe();
    return error;
}

// The browser gets a profile folder of the program's own, or it does not start:
// given a folder it cannot use, Chromium quietly falls back to the user's own
// default profile. So the folder is made and a file is written and removed in
// it before the browser is started.
void prepareProfileFolder(const QString& folder) {
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        throw profileFailure(folder, BrowserError::Problem::FileInTheWay);
    if (!QDir().mkpath(folder))
        throw profileFailure(folder);
    QTemporaryFile probe(folder + QStringLiteral("/write-test-XXXXXX"));
    // A little more than nothing, so that a full disk shows here.
    const QByteArray block(64 * 1024, '\0');
    if (!probe.open() || probe.write(block) != block.size() || !probe.flush())
        throw profileFailure(folder);
}

#if !defined(Q_OS_WIN)
// The process that holds the profile, or 0. A running Chromium-family browser
// keeps the link "SingletonLock" -> "HOST-PID" in its profile; a link left
// behind by a browser that was killed names a process that has ended (or one
// that has nothing to do with this profile: its command line tells).
qint64 profileHolder(const QString& folder) {
    const QString target = QFile::symLinkTarget(folder + QStringLiteral("/SingletonLock"));
    const QString lock = QFileInfo(target).fileName();
    const qsizetype dash = lock.lastIndexOf(u'-');
    if (dash <= 0 || lock.left(dash) != QSysInfo::machineHostName())
        return 0;
    bool ok = false;
    const qint64 pid = lock.mid(dash + 1).toLongLong(&ok);
    if (!ok || pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) != 0)
        return 0;
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (cmdline.open(QIODevice::ReadOnly)) {
        const QByteArray arguments = cmdline.readAll();
        const QByteArray option = QByteArray("--user-data-dir=") + QFile::encodeName(QDir::toNativeSeparators(folder));
        if (!arguments.contains(option))
            return 0;
    }
    return pid;
}

void refuseProfileInUse(const QString& folder) {
    const qint64 holder = profileHolder(folder);
    if (holder != 0) {
        BrowserStartError error(BrowserError::Kind::ProfileInUse, folder);
        error.process = holder;
        error.describe();
        throw error;
    }
}
#else
void refuseProfileInUse(const QString& folder) {
    // A running Chromium-family browser on Windows keeps "lockfile" in its
    // profile open without sharing it: it cannot be removed then. One left
    // behind by a browser that was killed is removed here.
    const QString lock = folder + QStringLiteral("/lockfile");
    if (QFileInfo::exists(lock) && !QFile::remove(lock))
        throw BrowserStartError(BrowserError::Kind::ProfileInUse, folder);
}
#endif

// The browser's own error output goes with the failure: it is what tells a
// missing display or library apart from a crash.
BrowserStartError launchFailure(BrowserProcess& process, BrowserError::Stage stage, bool ended) {
    if (ended)
        process.waitForExit(2000); // let it finish writing
    BrowserStartError error(BrowserError::Kind::StartFailed, process.executable());
    error.stage = stage;
    error.seconds = kFirstAnswerLimitMs / 1000;
#if defined(Q_OS_WIN)
    // Started without logging, the browser may say nothing: its exit code
    // still tells a crash or a missing DLL (0xC0000135) from a refusal.
    if (ended)
        error.exitCode = process.exitCode();
#endif
    error.message = process.errorOutput();
    error.describe();
    return error;
}

} // namespace

QString installedBrowser() {
    for (const QString& place : usualPlaces())
        if (isExecutableFile(place))
            return place;
    return {};
}

std::unique_ptr<Browser> launchBrowser(const BrowserOptions& options, const QString& profileFolder) {
    const QString executable = findBrowser(options.executable);
    prepareProfileFolder(profileFolder);
    refuseProfileInUse(profileFolder);
    QStringList arguments = browserArguments(profileFolder);
    for (const QString& argument : options.arguments)
        if (!argument.isEmpty())
            arguments << argument;

    std::unique_ptr<Transport> transport;
    auto process = std::make_unique<BrowserProcess>(executable, arguments, transport);
    BrowserProcess* started = process.get(); // lives as long as the browser
    const int callLimitMs = qMax(kMinimumCallLimitMs, options.loadTimeoutSeconds * 1000);
    auto browser = std::make_unique<CdpBrowser>(std::make_unique<Connection>(std::move(transport)), callLimitMs,
                                                std::move(process));
    browser->setReadLimit(qMax(1, options.loadTimeoutSeconds) * 1000);
    // The browser answers in the background; a start that fails is told as a
    // failed launch, with the browser's own words.
    browser->start(kFirstAnswerLimitMs, [started, profileFolder](const BrowserError& cause, bool answered, bool gone) {
        if (answered) {
            BrowserStartError error = launchFailure(*started, BrowserError::Stage::NoPage, gone);
            error.cause = std::make_shared<BrowserError>(cause);
            error.describe();
            return error;
        }
        if (!gone)
            return launchFailure(*started, BrowserError::Stage::NoAnswer, false);
        started->waitForExit(2000);
        // Another copy took the profile between the check and the start.
        refuseProfileInUse(profileFolder);
        return launchFailure(*started, BrowserError::Stage::EndedAtOnce, true);
    });
    return browser;
}

} // namespace velkoria
