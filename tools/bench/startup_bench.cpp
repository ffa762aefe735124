// Prints, for starts on one display against the marketplace simulator, the
// bare browser's first protocol answer and its own navigation time of the
// first quick button's search, next to the program's three figures: its main
// window on the screen; the first quick button's page complete with the click
// sent the moment the window shows; the same with the click sent one second
// after the window shows. Also how long the browser's window was on the
// screen before that later click. Every figure counts from the launch.
// Run it on a display with a window manager:
//   tests/support/with-display.sh BUILD/tools/bench/startup-bench [ROUNDS] [OTHER_VELKORIA ...]
// Other builds of the program given after ROUNDS are started in turn with this
// one in every round, so that all meet the same load.
//
// A page is complete at the end of its load event as the browser itself
// times it (Navigation Timing): in the bare browser over its pipe, in the
// program's browser over a debugging port of its own that the program folder's
// settings add (--remote-debugging-port=0), read once the page's title is on
// the browser's window. The bare browser loads its page in its window as
// launched (shown), as the program's click does.
#include "app/settings.h"
#include "browser/marketplace.h"
#include "platform/cdp/browserprocess.h"
#include "platform/cdp/cdpbrowser.h"
#include "platform/cdp/connection.h"
#include "platform/errors.h"
#include "tests/support/programrun.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QWebSocket>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <sys/select.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace velkoria;
using velkoria::test::runTool;

namespace {

// The first quick button of the installation data, and the title every page
// of the simulator has.
const QString kFirstKey = QStringLiteral("web_site");
const QByteArray kPageTitle = "Zandorp";
// The first quick button's centre in the main window's client area, which is
// 694 pixels tall.
const QPoint kFirstButton(100, 228);
constexpr int kClientHeight = 694;
constexpr int kLimitMs = 30000;

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

struct Silent : MessageSink {
    void show(const QString&) override {}
};

struct Bare {
    qint64 firstAnswerMs = -1;
    qint64 readyMs = -1; // its page can be navigated: set up and shown
    double navigationMs = -1;
};

// Launch until the first answer to Browser.getVersion; then, in the same
// browser, the first quick button's search and its navigation time as the
// browser itself measures it. The browser is closed afterwards.
Bare bareBrowser(const QString& executable, const QString& profile, const Settings& settings) {
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<cdp::Transport> transport;
    auto process = std::make_unique<cdp::BrowserProcess>(executable, browserArguments(profile), transport);
    auto connection = std::make_unique<cdp::Connection>(std::move(transport));
    connection->call(QStringLiteral("Browser.getVersion"), {}, {}, QDeadlineTimer(kLimitMs));
    Bare bare{clock.elapsed()};
    cdp::CdpBrowser browser(std::move(connection), kLimitMs, std::move(process));
    browser.start(kLimitMs);
    browser.setVisible(true); // as launched: not minimized
    bare.readyMs = clock.elapsed();
    Silent messages;
    Marketplace market(browser, marketplaceSite(settings), messages);
    market.newjob(kFirstKey, QStringLiteral("registered"));
    if (market.waitpage() == PageLoad::Complete)
        bare.navigationMs =
            browser.evaluate(QStringLiteral("performance.getEntriesByType('navigation')[0].duration")).toDouble();
    return bare;
}

// Watches, from another thread, the X events of the display: when a browser
// window (or the frame the window manager gave it) was mapped, and when a
// window first took a title of the simulator's pages. Times count on clock.
class BrowserWindowWatch {
public:
    explicit BrowserWindowWatch(const QElapsedTimer& clock) : m_clock(clock) {
        // Windows come and go while they are looked at: an error about one
        // that has gone is no failure.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            return;
        m_name = XInternAtom(m_display, "_NET_WM_NAME", False);
        m_utf8 = XInternAtom(m_display, "UTF8_STRING", False);
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
    // When a page of the simulator was first shown, -1 if not yet.
    qint64 pageMs() const { return m_pageMs; }
    // After stop(): how long a browser window was on the screen before the
    // moment given, -1 if never.
    qint64 seenBefore(qint64 until) const {
        qint64 total = -1;
        for (const auto& [from, to] : m_shown)
            if (from < until)
                total = std::max<qint64>(total, 0) + std::min(to, until) - from;
        return total;
    }

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

    QByteArray title(Window window) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        QByteArray text;
        if (XGetWindowProperty(m_display, window, m_name, 0, 1024, False, m_utf8, &type, &format, &count, &after,
                               &data) == Success &&
            data) {
            text = QByteArray(reinterpret_cast<const char*>(data), qsizetype(count));
            XFree(data);
        }
        return text;
    }

    void loop() {
        std::map<Window, qint64> mappedAt;
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
            if (event.type == CreateNotify) {
                // The browser's window is made a child of the root, then framed.
                XSelectInput(m_display, event.xcreatewindow.window, PropertyChangeMask);
            } else if (event.type == PropertyNotify && event.xproperty.atom == m_name && m_pageMs < 0 &&
                       title(event.xproperty.window).contains(kPageTitle)) {
                m_pageMs = m_clock.elapsed();
            } else if (event.type == MapNotify && isBrowser(event.xmap.window) && onScreen(event.xmap.window)) {
                mappedAt[event.xmap.window] = m_clock.elapsed();
            } else if (event.type == UnmapNotify && mappedAt.count(event.xunmap.window)) {
                m_shown.emplace_back(mappedAt[event.xunmap.window], m_clock.elapsed());
                mappedAt.erase(event.xunmap.window);
            }
        }
        for (const auto& [window, at] : mappedAt) // still on the screen at the end
            m_shown.emplace_back(at, m_clock.elapsed());
    }

    const QElapsedTimer& m_clock;
    Display* m_display = nullptr;
    Atom m_name = 0;
    Atom m_utf8 = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_pageMs{-1};
    std::vector<std::pair<qint64, qint64>> m_shown; // read after stop()
};

// Waits, with the event loop, until done() holds or the limit has passed.
bool pump(const std::function<bool()>& done, int limitMs = 5000) {
    const QDeadlineTimer deadline(limitMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// The end of the load event of the page in the program's browser, in
// milliseconds since the epoch, read over its debugging port; -1 if unknown.
double loadEnd(const QString& profile) {
    QFile portFile(profile + QStringLiteral("/DevToolsActivePort"));
    if (!portFile.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray port = portFile.readLine().trimmed();
    QNetworkAccessManager network;
    QNetworkReply* list = network.get(
        QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/json/list").arg(QString::fromLatin1(port)))));
    if (!pump([&] { return list->isFinished(); }))
        return -1;
    QString socketUrl;
    for (const QJsonValue& target : QJsonDocument::fromJson(list->readAll()).array())
        if (target[u"type"_qs] == u"page"_qs)
            socketUrl = target[u"webSocketDebuggerUrl"_qs].toString();
    QWebSocket socket;
    double value = -1;
    QObject::connect(&socket, &QWebSocket::textMessageReceived, [&](const QString& message) {
        value = QJsonDocument::fromJson(message.toUtf8())[u"result"_qs][u"result"_qs][u"value"_qs].toDouble(-1);
    });
    socket.open(QUrl(socketUrl));
    if (!pump([&] { return socket.state() == QAbstractSocket::ConnectedState; }))
        return -1;
    // The title comes while the page is read: its load may still be ending.
    const QDeadlineTimer deadline(5000);
    for (int id = 1; value < 0 && !deadline.hasExpired(); ++id) {
        socket.sendTextMessage(QString::fromUtf8(
            QJsonDocument(
                QJsonObject{{u"id"_qs, id},
                            {u"method"_qs, u"Runtime.evaluate"_qs},
                            {u"params"_qs,
                             QJsonObject{{u"returnByValue"_qs, true},
                                         {u"expression"_qs, u"(e => e && e.loadEventEnd > 0 ? performance.timeOrigin + "
                                                            u"e.loadEventEnd : -1)(performance.getEntriesByType("
                                                            u"'navigation')[0])"_qs}}}})
                .toJson(QJsonDocument::Compact)));
        const double before = value;
        pump([&] { return value != before; }, 1000);
        if (value < 0)
            QThread::msleep(20);
    }
    return value;
}

struct ProgramStart {
    qint64 windowMs = -1;
    qint64 clickMs = -1;
    qint64 pageMs = -1;
    qint64 browserSeenMs = -1; // before the click
};

// Clicks the first quick button of the main window.
void clickFirstButton(const QString& window) {
    const QString info = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    const auto value = [&](const char* name) {
        return QRegularExpression(QLatin1String(name) + QLatin1String(":\\s+(-?\\d+)")).match(info).captured(1).toInt();
    };
    const QPoint at =
        QPoint(value("Absolute upper-left X"), value("Absolute upper-left Y") + value("Height") - kClientHeight) +
        kFirstButton;
    runTool(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                                        QStringLiteral("click"), QStringLiteral("1")});
}

// Launch of the program in its folder until its main window is on the screen,
// then a click on the first quick button clickAfterMs later, until its page.
ProgramStart program(const QString& folder, int clickAfterMs) {
    ProgramStart result;
    QElapsedTimer clock;
    clock.start();
    BrowserWindowWatch watch(clock);
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A message box is titled like the main window: the log tells it apart.
    const QString messageLog = folder + QStringLiteral("/messages.log");
    QFile::remove(messageLog);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELKORIA_MESSAGE_LOG"), messageLog);
    p.setProcessEnvironment(env);
    const qint64 launch = clock.elapsed();
    const qint64 launchEpoch = QDateTime::currentMSecsSinceEpoch();
    p.start(folder + QStringLiteral("/velkoria"), {});
    p.waitForStarted(5000);
    const QString pid = QString::number(p.processId());
    QString window;
    while (clock.elapsed() - launch < kLimitMs && p.state() == QProcess::Running && window.isEmpty())
        window = runTool(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), pid,
                          QStringLiteral("--name"), QStringLiteral("^Velkoria$")})
                     .section(u'\n', 0, 0);
    if (!window.isEmpty()) {
        result.windowMs = clock.elapsed() - launch;
        QThread::msleep(
            static_cast<unsigned long>(qMax<qint64>(0, result.windowMs + clickAfterMs - (clock.elapsed() - launch))));
        result.clickMs = clock.elapsed() - launch;
        clickFirstButton(window);
        const QDeadlineTimer deadline(kLimitMs);
        while (watch.pageMs() < 0 && !deadline.hasExpired())
            QThread::msleep(5);
        const double end = watch.pageMs() < 0 ? -1 : loadEnd(folder + QStringLiteral("/browser-profile"));
        if (end > 0)
            result.pageMs = qint64(end) - launchEpoch;
    }
    if (QFile log(messageLog); log.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "startup-bench: the program showed a message:\n%s\n", log.readAll().constData());
        result = {};
    }
    watch.stop();
    result.browserSeenMs = result.clickMs < 0 ? -1 : watch.seenBefore(launch + result.clickMs);
    p.terminate();
    p.waitForFinished(5000);
    // The browser ends by itself when its pipe closes; wait for it.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && !runTool(QStringLiteral("pgrep"), {QStringLiteral("-f"), QStringLiteral("--"),
                                                                        QStringLiteral("--user-data-dir=") + folder})
                                          .isEmpty())
        QThread::msleep(100);
    return result;
}

template <typename T> T median(QList<T> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? T(-1) : values.at(values.size() / 2);
}

struct Contender {
    QString label;
    QString folder;
    QList<qint64> shown, atOnce, later, laterClickToPage, seen; // seen: 0 when never
    int flashes = 0;
    qint64 longestFlash = -1;
};

// A program folder for the executable: the installation data and settings
// that start the browser as the tests do (plus STARTUP_BENCH_ARGS, arguments
// to try), with the simulator as the site.
bool makeFolder(const QString& folder, const QString& executable, const Settings& settings) {
    QDir().mkpath(folder);
    const QString data = QStringLiteral(VELKORIA_SOURCE_DIR) + QStringLiteral("/data/");
    if (!QFile::copy(executable, folder + QStringLiteral("/velkoria")) ||
        !QFile::copy(data + QStringLiteral("category.txt"), folder + QStringLiteral("/category.txt")) ||
        !QFile::copy(data + QStringLiteral("button_info.txt"), folder + QStringLiteral("/button_info.txt")))
        return false;
    // The debugging port tells the bench when the page's load ended.
    QFile ini(folder + QStringLiteral("/velkoria.ini"));
    return ini.open(QIODevice::WriteOnly) &&
           ini.write(QStringLiteral("[marketplace]\nsearch_url=%1\n[browser]\narguments=%2 "
                                    "--remote-debugging-port=0\n")
                         .arg(settings.searchUrl, settings.arguments.join(u' '))
                         .toUtf8()) > 0;
}

QString ms(qint64 value) {
    return value < 0 ? QStringLiteral("-") : QStringLiteral("%1 ms").arg(value);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const QString executable = QFileInfo::exists(QStringLiteral("/usr/lib/chromium/chromium"))
                                   ? QStringLiteral("/usr/lib/chromium/chromium")
                                   : QStringLiteral("chromium");
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fputs("startup-bench: needs a display (run it under tests/support/with-display.sh)\n", stderr);
        return 2;
    }
    test::Simulator sim;
    if (!sim.start()) {
        std::fputs("startup-bench: the marketplace simulator did not start\n", stderr);
        return 1;
    }
    Settings settings;
    settings.searchUrl = sim.url().toString();
    settings.arguments = qEnvironmentVariable("STARTUP_BENCH_ARGS").split(u' ', Qt::SkipEmptyParts);
    if (asRoot())
        settings.arguments << QStringLiteral("--no-sandbox") << QStringLiteral("--test-type");

    QTemporaryDir dir;
    QList<Contender> programs;
    QStringList executables{QStringLiteral(VELKORIA_PROGRAM_DIR) + QStringLiteral("/velkoria")};
    programs.append({QStringLiteral("this build"), dir.filePath(QStringLiteral("program0"))});
    for (int i = 2; i < argc; ++i) {
        programs.append({QString::fromLocal8Bit(argv[i]), dir.filePath(QStringLiteral("program%1").arg(i - 1))});
        executables << QString::fromLocal8Bit(argv[i]);
    }
    for (int i = 0; i < programs.size(); ++i)
        if (!makeFolder(programs[i].folder, executables[i], settings)) {
            std::fprintf(stderr, "startup-bench: cannot set up a program folder for %s\n", qPrintable(executables[i]));
            return 1;
        }

    try {
        QList<qint64> bare, ready;
        QList<double> navigations;
        // Round 0 makes the profiles and warms the disk cache: not counted.
        for (int round = 0; round <= rounds; ++round) {
            const Bare b = bareBrowser(executable, dir.filePath(QStringLiteral("bare-profile")), settings);
            std::printf("round %d%s: bare browser first answer %lld ms, page ready %lld ms, its navigation %.0f ms",
                        round, round == 0 ? " (warm-up)" : "", b.firstAnswerMs, b.readyMs, b.navigationMs);
            if (round > 0) {
                bare << b.firstAnswerMs;
                ready << b.readyMs;
                navigations << b.navigationMs;
            }
            for (Contender& c : programs) {
                const ProgramStart now = program(c.folder, 0);
                const ProgramStart later = program(c.folder, 1000);
                std::printf("; %s: window shown %s, page clicked at once %s, page clicked 1 s later %s (%s after the "
                            "click), browser window on screen before it %s",
                            qPrintable(c.label), qPrintable(ms(now.windowMs)), qPrintable(ms(now.pageMs)),
                            qPrintable(ms(later.pageMs)),
                            qPrintable(ms(later.pageMs < 0 ? -1 : later.pageMs - later.clickMs)),
                            later.browserSeenMs < 0 ? "never" : qPrintable(ms(later.browserSeenMs)));
                if (round == 0)
                    continue;
                c.shown << now.windowMs << later.windowMs;
                c.atOnce << now.pageMs;
                c.later << later.pageMs;
                c.laterClickToPage << (later.pageMs < 0 ? -1 : later.pageMs - later.clickMs);
                c.seen << qMax<qint64>(0, later.browserSeenMs);
                // A window mapped and gone within the same millisecond never showed.
                if (later.browserSeenMs > 0) {
                    ++c.flashes;
                    c.longestFlash = std::max(c.longestFlash, later.browserSeenMs);
                }
            }
            std::printf("\n");
            std::fflush(stdout);
        }
        const qint64 b = median(bare);
        const double nav = median(navigations);
        const qint64 r = median(ready);
        std::printf("median of %d rounds: bare browser first answer %lld ms, its navigation of the first quick "
                    "button's page %.0f ms (sum %.0f ms); its page ready to navigate %lld ms (plus the navigation "
                    "%.0f ms)\n",
                    rounds, b, nav, double(b) + nav, r, double(r) + nav);
        for (const Contender& c : programs) {
            const qint64 shown = median(c.shown);
            const qint64 atOnce = median(c.atOnce);
            std::printf("  %s: window shown %lld ms (%.2f x the bare first answer; goal <= 0.6); page clicked at once "
                        "%lld ms (%.2f x the bare sum; goal <= 1.15; %.2f x the bare page ready plus its navigation); "
                        "page clicked 1 s after the window %lld ms (%lld ms after the click); browser window on the "
                        "screen before that click in %d of %d starts (median %lld ms, longest %lld ms)\n",
                        qPrintable(c.label), shown, b > 0 ? double(shown) / double(b) : 0.0, atOnce,
                        b > 0 ? double(atOnce) / (double(b) + nav) : 0.0,
                        r > 0 ? double(atOnce) / (double(r) + nav) : 0.0, median(c.later), median(c.laterClickToPage),
                        c.flashes, rounds, median(c.seen), c.longestFlash);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
