// The check kit's meeting with the real browser: the Chrome or Edge installed
// on this PC, started through the program's own launch with the switches the
// program uses, in a profile folder of its own. One line per point:
//   page     a data: URL loads and its script runs, the browser in the
//            program's job (Chrome's sandboxed helpers must start)
//   console  no console window belongs to the browser or any process it started
//   front    shown, the browser's window comes to the front
//   close    Browser.close ends it by itself within the program's limit,
//            its profile marked as closed cleanly, and none of its processes
//            is left
// Exit code: 0 when every point passed, 77 when no Chrome or Edge is installed
// (skipped), otherwise the number of points that failed.

#include "platform/cdp/browserprocess.h"
#include "platform/cdp/cdpbrowser.h"
#include "platform/cdp/chromium.h"
#include "platform/errors.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <map>
#include <memory>

using namespace velkoria;

namespace {

constexpr int kSkipped = 77;
int failures = 0;

// The console shows the system's code page: Japanese error texts in it.
void say(const char* verdict, const QString& point, const QString& text) {
    const QString line = QString(text).replace(u'\n', u" / "_qs);
    std::printf("%-5s %-8s %s\n", verdict, qPrintable(point), line.toLocal8Bit().constData());
    std::fflush(stdout);
}

void report(bool ok, const QString& point, const QString& text) {
    say(ok ? "PASS" : "FAIL", point, text);
    if (!ok)
        ++failures;
}

// Every process now running, by ID: its parent and its name.
struct ProcessEntry {
    DWORD parent;
    QString name;
};
std::map<DWORD, ProcessEntry> processes() {
    std::map<DWORD, ProcessEntry> all;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return all;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry))
        all[entry.th32ProcessID] = {entry.th32ParentProcessID, QString::fromWCharArray(entry.szExeFile)};
    ::CloseHandle(snapshot);
    return all;
}

// The browser and every process it started, directly or not.
std::map<DWORD, QString> browserTree(DWORD browser) {
    const std::map<DWORD, ProcessEntry> all = processes();
    std::map<DWORD, QString> tree;
    if (const auto it = all.find(browser); it != all.end())
        tree[browser] = it->second.name;
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [id, entry] : all)
            if (!tree.count(id) && tree.count(entry.parent) && id != entry.parent) {
                tree[id] = entry.name;
                grew = true;
            }
    }
    return tree;
}

// Console windows of the tree's processes, and console hosts they started:
// either is a console window on the screen.
QStringList consoles(const std::map<DWORD, QString>& tree) {
    QStringList found;
    struct Search {
        const std::map<DWORD, QString>* tree;
        QStringList* found;
    } search{&tree, &found};
    ::EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto* s = reinterpret_cast<Search*>(parameter);
            wchar_t name[64] = {};
            ::GetClassNameW(window, name, 64);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (QString::fromWCharArray(name) == u"ConsoleWindowClass" && s->tree->count(owner))
                s->found->append(QStringLiteral("a console window of %1 (%2)").arg(s->tree->at(owner)).arg(owner));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    for (const auto& [id, name] : tree)
        if (name.compare(u"conhost.exe", Qt::CaseInsensitive) == 0 ||
            name.compare(u"OpenConsole.exe", Qt::CaseInsensitive) == 0)
            found.append(QStringLiteral("%1 (%2)").arg(name).arg(id));
    return found;
}

// Runs the event loop (which also serves this thread's own window) for a while.
bool waitFor(int milliseconds, const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        ::Sleep(20);
    }
    return true;
}

// A window of this program's own in the foreground, as the main window is
// when the user clicks in it; null when Windows does not let it come there.
HWND ownWindowInFront() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VelkoriaCheck";
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowExW(0, L"VelkoriaCheck", L"Velkoria check", WS_OVERLAPPEDWINDOW, 40, 40, 320, 120,
                                    nullptr, nullptr, windowClass.hInstance, nullptr);
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
    if (waitFor(3000, [&] { return ::GetForegroundWindow() == window; }))
        return window;
    ::DestroyWindow(window);
    return nullptr;
}

DWORD foregroundProcess() {
    DWORD id = 0;
    ::GetWindowThreadProcessId(::GetForegroundWindow(), &id);
    return id;
}

QString exitType(const QString& profile) {
    QFile preferences(profile + QStringLiteral("/Default/Preferences"));
    if (!preferences.open(QIODevice::ReadOnly))
        return QStringLiteral("(no Preferences)");
    return QJsonDocument::fromJson(preferences.readAll())
        .object()
        .value(u"profile")
        .toObject()
        .value(u"exit_type")
        .toString(QStringLiteral("(none)"));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QString executable = installedBrowser();
    if (executable.isEmpty()) {
        say("SKIP", QStringLiteral("browser"), QStringLiteral("no Chrome or Edge is installed on this PC"));
        return kSkipped;
    }
    QTemporaryDir folder;
    const QString profile = folder.filePath(QStringLiteral("browser-profile"));
    std::unique_ptr<Browser> browser;
    cdp::CdpBrowser* cdp = nullptr;
    DWORD id = 0;
    try {
        browser = launchBrowser(BrowserOptions{}, profile);
        cdp = static_cast<cdp::CdpBrowser*>(browser.get());
        id = DWORD(cdp->process()->processId());
        say("", QStringLiteral("browser"), QStringLiteral("%1 (process %2)").arg(executable).arg(id));

        const QString page = QStringLiteral("data:text/html,<title>waiting</title>"
                                            "<script>document.title = 'ran ' + 6 * 7</script>");
        browser->navigate(page, {}, {});
        const bool loaded = browser->waitUntil(std::chrono::seconds(30),
                                               [&] { return !browser->busy() && browser->readyState() == 4; });
        const QString title = cdp->evaluate(QStringLiteral("document.title")).toString();
        const bool inJob = cdp->process()->jobProcesses().contains(qint64(id));
        const size_t started = browserTree(id).size() - 1;
        report(
            loaded && title == u"ran 42" && inJob, QStringLiteral("page"),
            QStringLiteral("loaded %1, script %2, the browser %3 Velkoria's job, %4 helper processes")
                .arg(loaded ? u"yes" : u"NO", title == u"ran 42" ? u"ran" : u"DID NOT RUN", inJob ? u"in" : u"NOT in")
                .arg(started));
    } catch (const BrowserError& error) {
        report(false, QStringLiteral("page"), QString::fromUtf8(error.what()));
        return failures;
    }

    // Helpers that start late (the GPU process, a spare renderer) have come.
    ::Sleep(2000);
    const std::map<DWORD, QString> tree = browserTree(id);
    const QStringList windows = consoles(tree);
    report(windows.isEmpty(), QStringLiteral("console"),
           windows.isEmpty() ? QStringLiteral("no console window among the browser's %1 processes").arg(tree.size())
                             : windows.join(QStringLiteral(", ")));

    if (HWND own = ownWindowInFront()) {
        try {
            browser->setVisible(true);
            const bool front = waitFor(5000, [&] { return tree.count(foregroundProcess()) > 0; });
            report(front, QStringLiteral("front"),
                   front ? QStringLiteral("the browser's window came to the front")
                         : QStringLiteral("the browser's window did NOT come to the front (the taskbar flashed)"));
        } catch (const BrowserError& error) {
            report(false, QStringLiteral("front"), QString::fromUtf8(error.what()));
        }
        ::DestroyWindow(own);
    } else {
        say("SKIP", QStringLiteral("front"),
            QStringLiteral("this check's own window could not come to the front: leave the mouse and keyboard "
                           "alone while the kit runs"));
    }

    // Everything of the browser, watched while it ends.
    std::map<DWORD, HANDLE> watched;
    for (const auto& [process, name] : tree)
        if (HANDLE h = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process))
            watched[process] = h;
    QElapsedTimer clock;
    clock.start();
    browser.reset();
    const qint64 ended = clock.elapsed();
    DWORD code = STILL_ACTIVE;
    if (watched.count(id))
        ::GetExitCodeProcess(watched[id], &code);
    QStringList left;
    waitFor(5000, [&] {
        left.clear();
        for (const auto& [process, h] : watched)
            if (::WaitForSingleObject(h, 0) == WAIT_TIMEOUT)
                left.append(QStringLiteral("%1 (%2)").arg(tree.at(process)).arg(process));
        return left.isEmpty();
    });
    for (const auto& [process, h] : watched)
        ::CloseHandle(h);
    const QString exit = exitType(profile);
    // Killed at the limit, the browser's exit code is the job's 1.
    const bool byItself = code == 0;
    report(byItself && exit == u"Normal" && left.isEmpty(), QStringLiteral("close"),
           QStringLiteral("ended %1 in %2 ms (exit code %3), profile closed %4, %5")
               .arg(byItself ? u"by itself" : u"NOT by itself")
               .arg(ended)
               .arg(code)
               .arg(exit == u"Normal" ? QStringLiteral("cleanly") : QStringLiteral("NOT cleanly (%1)").arg(exit),
                    left.isEmpty() ? QStringLiteral("no process of it left")
                                   : QStringLiteral("LEFT: ") + left.join(QStringLiteral(", "))));
    return failures;
}
