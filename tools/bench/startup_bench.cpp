// Prints, for starts on one display, the bare browser's time from launch to its
// first protocol answer next to the program's time from launch to its main
// window on the screen, and how long the browser's window was on the screen
// while the program started. Run it on a display with a window manager:
//   tests/support/with-display.sh BUILD/tools/bench/startup-bench [ROUNDS] [OTHER_VELKORIA ...]
// Other builds of the program given after ROUNDS are started in turn with this
// one in every round, so that all meet the same load.
#include "platform/cdp/browserprocess.h"
#include "platform/cdp/connection.h"
#include "platform/errors.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <sys/select.h>
#include <thread>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace velkoria;

namespace {

QString run(const QString& program, const QStringList& args, int timeoutMs = 5000) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

bool asRoot() {
    return ::geteuid() == 0;
}

// The flags the program starts its browser with (platform/cdp/chromium.cpp).
QStringList browserArguments(const QString& profile) {
    QStringList args{QStringLiteral("--remote-debugging-pipe"),
                     QStringLiteral("--user-data-dir=") + profile,
                     QStringLiteral("--no-first-run"),
                     QStringLiteral("--no-default-browser-check"),
                     QStringLiteral("--disable-background-timer-throttling"),
                     QStringLiteral("--disable-renderer-backgrounding"),
                     QStringLiteral("--disable-backgrounding-occluded-windows"),
                     QStringLiteral("--disable-background-networking"),
                     QStringLiteral("--disable-component-update"),
                     QStringLiteral("--disable-sync"),
                     QStringLiteral("--password-store=basic")};
    if (asRoot())
        args << QStringLiteral("--no-sandbox") << QStringLiteral("--test-type");
    args << QStringLiteral("about:blank");
    return args;
}

// Launch until the first answer to Browser.getVersion; the browser is then closed.
qint64 bareBrowser(const QString& executable, const QString& profile) {
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<cdp::Transport> transport;
    cdp::BrowserProcess process(executable, browserArguments(profile), transport);
    cdp::Connection connection(std::move(transport));
    connection.call(QStringLiteral("Browser.getVersion"), {}, {}, QDeadlineTimer(30000));
    const qint64 ms = clock.elapsed();
    connection.close();
    process.waitForExit(5000);
    return ms;
}

// Watches, from another thread, the X events of the display: how long a
// browser window (or the frame the window manager gave it) was mapped.
class BrowserWindowWatch {
public:
    BrowserWindowWatch() {
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            return;
        XSelectInput(m_display, DefaultRootWindow(m_display), SubstructureNotifyMask);
        XSync(m_display, False);
        m_thread = std::thread([this] { loop(); });
    }
    ~BrowserWindowWatch() {
        stop();
        if (m_display)
            XCloseDisplay(m_display);
    }
    void stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    // The total time a browser window was on the screen, -1 if never.
    qint64 seenMs() const { return m_seenMs; }

private:
    bool isBrowser(Window window) {
        XClassHint hint{};
        if (XGetClassHint(m_display, window, &hint)) {
            const bool browser = hint.res_class && QByteArray(hint.res_class).toLower().contains("chrom");
            XFree(hint.res_name);
            XFree(hint.res_class);
            if (browser)
                return true;
        }
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_display, window, &root, &parent, &children, &count))
            return false;
        bool found = false;
        for (unsigned int i = 0; i < count && !found; ++i)
            found = isBrowser(children[i]);
        if (children)
            XFree(children);
        return found;
    }

    // Whether any part of the window lies on the screen.
    bool onScreen(Window window) {
        XWindowAttributes a{};
        if (!XGetWindowAttributes(m_display, window, &a))
            return false;
        const int width = DisplayWidth(m_display, DefaultScreen(m_display));
        const int height = DisplayHeight(m_display, DefaultScreen(m_display));
        return a.x + a.width > 0 && a.y + a.height > 0 && a.x < width && a.y < height;
    }

    void loop() {
        QElapsedTimer clock;
        clock.start();
        std::map<Window, qint64> mappedAt;
        qint64 total = -1;
        const int fd = ConnectionNumber(m_display);
        while (!m_stop) {
            if (!XPending(m_display)) {
                fd_set set;
                FD_ZERO(&set);
                FD_SET(fd, &set);
                timeval wait{0, 20000};
                select(fd + 1, &set, nullptr, nullptr, &wait);
                continue;
            }
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type == MapNotify && isBrowser(event.xmap.window) && onScreen(event.xmap.window)) {
                mappedAt[event.xmap.window] = clock.elapsed();
            } else if (event.type == UnmapNotify && mappedAt.count(event.xunmap.window)) {
                total = std::max<qint64>(total, 0) + clock.elapsed() - mappedAt[event.xunmap.window];
                mappedAt.erase(event.xunmap.window);
            }
        }
        for (const auto& [window, at] : mappedAt) // still on the screen at the end
            total = std::max<qint64>(total, 0) + clock.elapsed() - at;
        m_seenMs = total;
    }

    Display* m_display = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_seenMs{-1};
};

struct ProgramStart {
    qint64 windowMs = -1;
    qint64 browserSeenMs = -1;
};

// Launch of the program in its folder until its main window is on the screen.
ProgramStart program(const QString& folder) {
    ProgramStart result;
    BrowserWindowWatch watch;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A message box is titled like the main window: the log tells it apart.
    const QString messageLog = folder + QStringLiteral("/messages.log");
    QFile::remove(messageLog);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELKORIA_MESSAGE_LOG"), messageLog);
    p.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    p.start(folder + QStringLiteral("/velkoria"), {});
    p.waitForStarted(5000);
    const QString pid = QString::number(p.processId());
    while (clock.elapsed() < 30000 && p.state() == QProcess::Running) {
        if (!run(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), pid,
                  QStringLiteral("--name"), QStringLiteral("^Velkoria$")})
                 .isEmpty()) {
            result.windowMs = clock.elapsed();
            break;
        }
    }
    if (QFile log(messageLog); log.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "startup-bench: the program showed a message instead of starting:\n%s\n",
                     log.readAll().constData());
        result.windowMs = -1;
    }
    // A minimise that lands late would still be seen here.
    QThread::msleep(1000);
    watch.stop();
    result.browserSeenMs = watch.seenMs();
    p.terminate();
    p.waitForFinished(5000);
    // The browser ends by itself when its pipe closes; wait for it.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && !run(QStringLiteral("pgrep"), {QStringLiteral("-f"), QStringLiteral("--"),
                                                                    QStringLiteral("--user-data-dir=") + folder})
                                          .isEmpty())
        QThread::msleep(100);
    return result;
}

qint64 median(QList<qint64> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values.at(values.size() / 2);
}

struct Contender {
    QString label;
    QString folder;
    QList<qint64> shown;
    int flashes = 0;
    qint64 longestFlash = -1;
};

// A program folder for the executable: the installation data and settings
// that start the browser as the tests do (plus STARTUP_BENCH_ARGS, arguments to try).
bool makeFolder(const QString& folder, const QString& executable) {
    QDir().mkpath(folder);
    const QString built = QStringLiteral(VELKORIA_PROGRAM_DIR);
    const QString data = QStringLiteral(VELKORIA_SOURCE_DIR) + QStringLiteral("/data/");
    if (!QFile::copy(executable, folder + QStringLiteral("/velkoria")) ||
        !QFile::copy(data + QStringLiteral("category.txt"), folder + QStringLiteral("/category.txt")) ||
        !QFile::copy(data + QStringLiteral("button_info.txt"), folder + QStringLiteral("/button_info.txt")))
        return false;
    QString arguments = qEnvironmentVariable("STARTUP_BENCH_ARGS");
    if (asRoot())
        arguments += QStringLiteral(" --no-sandbox --test-type");
    QFile ini(folder + QStringLiteral("/velkoria.ini"));
    return ini.open(QIODevice::WriteOnly) &&
           ini.write(QStringLiteral("[browser]\narguments=%1\n").arg(arguments.trimmed()).toUtf8()) > 0;
}

} // namespace

// startup-bench [ROUNDS] [OTHER_VELKORIA ...]: the other executables (an older
// build, say) are started in turn with this build's, under the same load.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QString executable = QFileInfo::exists(QStringLiteral("/usr/lib/chromium/chromium"))
                                   ? QStringLiteral("/usr/lib/chromium/chromium")
                                   : QStringLiteral("chromium");
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fputs("startup-bench: needs a display (run it under tests/support/with-display.sh)\n", stderr);
        return 2;
    }
    QTemporaryDir dir;
    QList<Contender> programs;
    programs.append({QStringLiteral("this build"), dir.filePath(QStringLiteral("program0"))});
    QStringList executables{QStringLiteral(VELKORIA_PROGRAM_DIR) + QStringLiteral("/velkoria")};
    for (int i = 2; i < argc; ++i) {
        programs.append({QString::fromLocal8Bit(argv[i]), dir.filePath(QStringLiteral("program%1").arg(i - 1))});
        executables << QString::fromLocal8Bit(argv[i]);
    }
    for (int i = 0; i < programs.size(); ++i)
        if (!makeFolder(programs[i].folder, executables[i])) {
            std::fprintf(stderr, "startup-bench: cannot set up a program folder for %s\n", qPrintable(executables[i]));
            return 1;
        }

    try {
        QList<qint64> bare;
        // Round 0 makes the profiles and warms the disk cache: not counted.
        for (int round = 0; round <= rounds; ++round) {
            const qint64 b = bareBrowser(executable, dir.filePath(QStringLiteral("bare-profile")));
            std::printf("round %d%s: bare browser first answer %lld ms", round, round == 0 ? " (warm-up)" : "", b);
            if (round > 0)
                bare << b;
            for (Contender& c : programs) {
                const ProgramStart p = program(c.folder);
                std::printf("; %s: window shown %lld ms, browser window on screen %s", qPrintable(c.label), p.windowMs,
                            p.browserSeenMs < 0 ? "never" : qPrintable(QStringLiteral("%1 ms").arg(p.browserSeenMs)));
                if (round == 0)
                    continue;
                c.shown << p.windowMs;
                if (p.browserSeenMs >= 0) {
                    ++c.flashes;
                    c.longestFlash = std::max(c.longestFlash, p.browserSeenMs);
                }
            }
            std::printf("\n");
            std::fflush(stdout);
        }
        const qint64 b = median(bare);
        std::printf("median of %d rounds: bare browser first answer %lld ms\n", rounds, b);
        for (const Contender& c : programs) {
            const qint64 s = median(c.shown);
            std::printf("  %s: program window shown %lld ms, %.2f x the bare browser; browser window on the screen "
                        "in %d of %d starts (longest %lld ms)\n",
                        qPrintable(c.label), s, b > 0 ? double(s) / double(b) : 0.0, c.flashes, rounds, c.longestFlash);
        }
    } catch (const RuntimeError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
