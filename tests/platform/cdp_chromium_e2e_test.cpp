#include "platform/cdp/browserprocess.h"
#include "platform/cdp/cdpbrowser.h"
#include "platform/cdp/chromium.h"
#include "platform/errors.h"
#include "tests/platform/loopbackserver.h"
#include "tests/support/fakes.h"
#include "tests/support/programrun.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace velkoria;
using velkoria::cdp::CdpBrowser;
using velkoria::test::browserErrorOf;
using velkoria::test::BrowserFailure;
using namespace velkoria::test;
using velkoria::test::LoopbackServer;

namespace {

const QString kFormHeader = QStringLiteral("Content-Type: application/x-www-form-urlencoded\r\n");

BrowserOptions testSettings() {
    BrowserOptions settings;
    settings.arguments = QStringList{QStringLiteral("--no-sandbox"), QStringLiteral("--test-type")};
    return settings;
}

// The program's page wait. False when the deadline comes first; looks counts
// how often the wait looked at the browser.
bool waitLoaded(Browser& browser, int milliseconds, int* looks = nullptr) {
    return browser.waitUntil(std::chrono::milliseconds(milliseconds), [&] {
        if (looks)
            ++*looks;
        return !browser.busy() && browser.readyState() == 4;
    });
}

std::unique_ptr<CdpBrowser> launch(const QString& profile) {
    std::unique_ptr<Browser> browser = launchBrowser(testSettings(), profile);
    return std::unique_ptr<CdpBrowser>(static_cast<CdpBrowser*>(browser.release()));
}

} // namespace

class ChromiumTest : public QObject {
    Q_OBJECT

    QTemporaryDir profiles;
    LoopbackServer server;
    std::unique_ptr<CdpBrowser> browser;

    QString profile(const QString& name) const { return profiles.filePath(name); }

    void load(const QString& path, const QByteArray& body = "x=1") {
        browser->navigate(server.url(path), body, kFormHeader);
        QVERIFY(waitLoaded(*browser, 20000));
    }

private slots:
    void initTestCase() {
        QVERIFY(profiles.isValid());
        QElapsedTimer clock;
        clock.start();
        browser = launch(profile(QStringLiteral("main")));
        QVERIFY(!browser->busy());
        qInfo("launch until the page is ready: %lld ms", clock.elapsed());
    }

    void startsHiddenAndComplete() {
        // The window manager minimizes the window a moment after the start.
        QTRY_COMPARE_WITH_TIMEOUT(browser->windowBounds().value(u"windowState").toString(), QStringLiteral("minimized"),
                                  3000);
        QVERIFY(!browser->busy());
        QCOMPARE(browser->readyState(), 4);
        QVERIFY(!browser->lastLoadFailed());
    }

    void postsExactlyTheBodyWithTheHeader() {
        QByteArray body("menu=browse&act=search_request&key=a+b%41&c=");
        body += char(0xb1); // half-width katakana
        body += char(0x80);
        body += char(0xff);
        server.respond("/search", {200, "text/html", "<html><body>result</body></html>", 300});
        browser->navigate(server.url(QStringLiteral("/search")), body, kFormHeader);
        // From navigate's return the browser reports the navigation.
        QVERIFY(browser->busy());
        QVERIFY(browser->readyState() != 4);
        QVERIFY(waitLoaded(*browser, 20000));
        QVERIFY(!browser->lastLoadFailed());

        const auto requests = server.requestsFor("/search");
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].method, QByteArray("POST"));
        QCOMPARE(requests[0].body, body);
        QCOMPARE(requests[0].values("Content-Type"), QList<QByteArray>{"application/x-www-form-urlencoded"});
        QVERIFY(!requests[0].values("User-Agent").isEmpty()); // the browser's own headers stay
        QVERIFY(browser->documentHtml().contains(QLatin1String("result")));
    }

    void markupHasUpperCaseTagsAndQuotedValues() {
        const QString page = QStringLiteral(
            "<html><head><title>一覧</title></head><body>"
            "<table><tr><td><font color=red>見積件数</font></td><td class=\"n\">①～－ ｱ</td></tr></table>"
            "<!-- 新着 --><p title='a\"b&amp;c' data-x=1>x &amp; y &lt; z&nbsp;&gt;</p>"
            "<br><img src=\"new.gif\"><script>if (1 < 2 && true) {}</script></body></html>");
        server.respond("/list", {200, "text/html; charset=Shift_JIS", test::cp932(page)});
        load(QStringLiteral("/list"));
        const QString html = browser->documentHtml();
        QCOMPARE(html,
                 QStringLiteral("<HTML><HEAD><TITLE>一覧</TITLE></HEAD><BODY>"
                                "<TABLE><TBODY><TR><TD><FONT color=\"red\">見積件数</FONT></TD>"
                                "<TD class=\"n\">①～－ ｱ</TD></TR></TBODY></TABLE>"
                                "<!-- 新着 --><P title=\"a&quot;b&amp;c\" data-x=\"1\">x &amp; y &lt; z&nbsp;&gt;</P>"
                                "<BR><IMG src=\"new.gif\"><SCRIPT>if (1 < 2 && true) {}</SCRIPT></BODY></HTML>"));
    }

    void largeMarkupComesWhole() {
        // Markup of more than one piece, two halves of a surrogate pair at the pieces' boundary.
        const QString text = u"x"_qs + u"😀"_qs.repeated(600000);
        server.respond("/large", {200, "text/html; charset=utf-8", u"<p>%1</p>"_qs.arg(text).toUtf8()});
        load(QStringLiteral("/large"));
        QCOMPARE(browser->documentHtml(), u"<HTML><HEAD></HEAD><BODY><P>"_qs + text + u"</P></BODY></HTML>"_qs);
    }

    void httpErrorStatusIsAFailedLoad() {
        server.respond("/broken", {500, "text/html", "<html><body>error</body></html>"});
        load(QStringLiteral("/broken"));
        QVERIFY(browser->lastLoadFailed());
        QCOMPARE(browser->readyState(), 4);
        load(QStringLiteral("/fine"));
        QVERIFY(!browser->lastLoadFailed());
    }

    void refusedConnectionIsAFailedLoadThatEnds() {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        browser->navigate(QStringLiteral("http://127.0.0.1:%1/").arg(port), "x=1", kFormHeader);
        QVERIFY(waitLoaded(*browser, 20000));
        QVERIFY(browser->lastLoadFailed());
    }

    void silentServerRunsIntoTheDeadlineWithoutSpinning() {
        server.respond("/silent", {200, "text/html", {}, 0, true});
        browser->navigate(server.url(QStringLiteral("/silent")), "x=1", kFormHeader);
        int looks = 0;
        QVERIFY(!waitLoaded(*browser, 1500, &looks));
        QVERIFY(browser->busy());
        // The wait looks when the browser has sent something; a spinning wait
        // would look thousands of times.
        QVERIFY2(looks < 50, qPrintable(QString::number(looks)));
        // The next navigation replaces the stalled one.
        load(QStringLiteral("/after-silent"));
        QVERIFY(!browser->lastLoadFailed());
    }

    void navigationReplacesOneStillLoading() {
        server.respond("/slow", {200, "text/html", "<html><body>slow</body></html>", 2000});
        server.respond("/quick", {200, "text/html", "<html><body>quick</body></html>"});
        browser->navigate(server.url(QStringLiteral("/slow")), "x=1", kFormHeader);
        QTest::qWait(200); // the program idles meanwhile: its event loop drains the pipe
        load(QStringLiteral("/quick"), "y=2");
        QVERIFY(browser->documentHtml().contains(QLatin1String("quick")));
        QCOMPARE(server.requestsFor("/quick").value(0).body, QByteArray("y=2"));
    }

    void anotherSiteIsNotMistakenForTheEnd() {
        // A cross-site navigation changes the renderer process, not the page.
        browser->navigate(QStringLiteral("http://localhost:%1/other").arg(QUrl(server.url({})).port()), "z=3",
                          kFormHeader);
        QVERIFY(waitLoaded(*browser, 20000));
        QVERIFY(!browser->lastLoadFailed());
        QCOMPARE(server.requestsFor("/other").value(0).body, QByteArray("z=3"));
        load(QStringLiteral("/back"));
    }

    void interceptionChangesOnlyTheProgramsOwnPosts() {
        // Hidden, the browser keeps request interception on between the
        // program's pages: a frame's document and the page's own navigation
        // go out untouched, and the program's next page is a POST again.
        server.respond("/framed", {200, "text/html", "<html><body><iframe src=\"/child\"></iframe>page</body></html>"});
        load(QStringLiteral("/framed"), "f=1");
        QCOMPARE(server.requestsFor("/child").value(0).method, QByteArray("GET"));
        browser->evaluate(QStringLiteral("location.href = '/own'"));
        QTRY_COMPARE_WITH_TIMEOUT(server.requestsFor("/own").size(), 1, 10000);
        QCOMPARE(server.requestsFor("/own")[0].method, QByteArray("GET"));
        QTRY_VERIFY_WITH_TIMEOUT(!browser->busy(), 10000);
        load(QStringLiteral("/next"), "n=2");
        QCOMPARE(server.requestsFor("/next").value(0).method, QByteArray("POST"));
        QCOMPARE(server.requestsFor("/next").value(0).body, QByteArray("n=2"));
    }

    void idleProgramKeepsPostingThroughItsEventLoop() {
        // My Business posts and returns to the event loop without waiting.
        browser->navigate(server.url(QStringLiteral("/login")), "email=a&pass1=b", kFormHeader);
        QTRY_COMPARE_WITH_TIMEOUT(server.requestsFor("/login").size(), 1, 10000);
        QCOMPARE(server.requestsFor("/login")[0].body, QByteArray("email=a&pass1=b"));
        QTRY_VERIFY_WITH_TIMEOUT(!browser->busy() && browser->readyState() == 4, 10000);
    }

    void showHideAndTop() {
        browser->setTop(0); // hidden: applied when shown
        browser->setVisible(true);
        QJsonObject bounds = browser->windowBounds();
        QCOMPARE(bounds.value(u"windowState").toString(), QStringLiteral("normal"));
        QCOMPARE(bounds.value(u"top").toInt(), 0);
        browser->setTop(40);
        QCOMPARE(browser->windowBounds().value(u"top").toInt(), 40);
        browser->setVisible(false);
        QTRY_COMPARE_WITH_TIMEOUT(browser->windowBounds().value(u"windowState").toString(), QStringLiteral("minimized"),
                                  3000);
        // Loading and reading work the same while hidden.
        load(QStringLiteral("/hidden"));
        QVERIFY(browser->documentHtml().contains(QLatin1String("ok")));
        browser->setVisible(true);
        bounds = browser->windowBounds();
        QCOMPARE(bounds.value(u"windowState").toString(), QStringLiteral("normal"));
        QCOMPARE(bounds.value(u"top").toInt(), 40);

        // A shown page keeps its dialogs: its load waits for the user's answer.
        server.respond("/alert", {200, "text/html", "<html><body><script>alert('x')</script>ok</body></html>"});
        browser->navigate(server.url(QStringLiteral("/alert")), "x=1", kFormHeader);
        QVERIFY(!waitLoaded(*browser, 1500));
        // Hidden, it loads without one, and the window stays hidden.
        browser->setVisible(false);
        load(QStringLiteral("/alert"));
        QTest::qWait(500);
        QCOMPARE(browser->windowBounds().value(u"windowState").toString(), QStringLiteral("minimized"));
    }

    void showRightAfterAHideStaysShown() {
        // Neither the start nor a hide waits for the window manager: a show
        // right after them must not be undone by the minimize landing late.
        auto own = launch(profile(QStringLiteral("quick-show")));
        own->setVisible(false);
        own->setTop(0);
        own->windowBounds(); // started: the minimize is on its way
        own->setVisible(true);
        QCOMPARE(own->windowBounds().value(u"windowState").toString(), QStringLiteral("normal"));
        for (int i = 0; i < 2; ++i) {
            own->setVisible(false);
            own->setVisible(true);
        }
        QTest::qWait(500);
        const QJsonObject bounds = own->windowBounds();
        QCOMPARE(bounds.value(u"windowState").toString(), QStringLiteral("normal"));
        QCOMPARE(bounds.value(u"top").toInt(), 0);

        // Restored by the user from the taskbar after a hide, the window is
        // hidden again by the next hide.
        own->setVisible(false);
        QTRY_COMPARE_WITH_TIMEOUT(own->windowBounds().value(u"windowState").toString(), QStringLiteral("minimized"),
                                  3000);
        const QString pid = QString::number(own->process()->processId());
        for (const QString& window : findWindows({u"--pid"_qs, pid, u"--class"_qs, u"chromium"_qs}, false))
            runTool(u"xdotool"_qs, {u"windowactivate"_qs, window});
        QTRY_COMPARE_WITH_TIMEOUT(own->windowBounds().value(u"windowState").toString(), QStringLiteral("normal"), 3000);
        // A page opened in the window the user restored keeps its dialog for
        // the user: its load waits for the answer.
        QTest::qWait(1000); // past the program's own minimize landing
        server.respond("/confirm", {200, "text/html", "<html><body><script>confirm('ok?')</script>ok</body></html>"});
        own->evaluate(QStringLiteral("location.href = '%1'").arg(server.url(QStringLiteral("/confirm"))));
        QTRY_COMPARE_WITH_TIMEOUT(server.requestsFor("/confirm").size(), 1, 10000);
        QTest::qWait(1500);
        QVERIFY(own->busy());
        own->setVisible(false);
        QTRY_COMPARE_WITH_TIMEOUT(own->windowBounds().value(u"windowState").toString(), QStringLiteral("minimized"),
                                  3000);
    }

    void userClosingTheWindowDuringAWaitMakesEveryCallFail462() {
        auto own = launch(profile(QStringLiteral("closed-by-user")));
        own->setVisible(true);
        const QString pid = QString::number(own->process()->processId());
        const QString window = findWindows({u"--pid"_qs, pid}).value(0);
        QVERIFY2(!window.isEmpty(), "browser window not found");
        server.respond("/never", {200, "text/html", {}, 0, true});
        own->navigate(server.url(QStringLiteral("/never")), "x=1", kFormHeader);
        // While the program waits for the page, the user closes the window.
        QTimer::singleShot(500, this, [&] {
            runTool(u"xdotool"_qs, {u"windowactivate"_qs, u"--sync"_qs, window, u"key"_qs, u"ctrl+w"_qs});
        });
        // The wait learns it from the browser's burst, before its deadline.
        const QDeadlineTimer deadline(10000);
        QVERIFY_THROWS_EXCEPTION(BrowserGoneError, waitLoaded(*own, 10000));
        QVERIFY(!deadline.hasExpired());
        QVERIFY_THROWS_EXCEPTION(BrowserGoneError, own->busy());
        QVERIFY_THROWS_EXCEPTION(BrowserGoneError, own->documentHtml());
        QVERIFY_THROWS_EXCEPTION(BrowserGoneError, own->setVisible(true));
        QVERIFY_THROWS_EXCEPTION(BrowserGoneError, own->setTop(0));
        QVERIFY_THROWS_EXCEPTION(BrowserGoneError, own->navigate(server.url(QStringLiteral("/x")), "x=1", kFormHeader));
        QVERIFY(own->process()->waitForExit(5000));
    }

    void killedBrowserIsGone() {
        auto own = launch(profile(QStringLiteral("killed")));
        QVERIFY(!own->busy()); // started: killed before, it would have failed its start
        ::kill(pid_t(own->process()->processId()), SIGKILL);
        // The pipe's end reaches a waiting program through its event loop.
        QVERIFY_THROWS_EXCEPTION(BrowserGoneError, own->waitUntil(std::chrono::seconds(10), [&] {
            own->busy();
            return false;
        }));
        QVERIFY_THROWS_EXCEPTION(BrowserGoneError, own->lastLoadFailed());
    }

    void browserEndsWithItsObject() {
        auto own = launch(profile(QStringLiteral("ends")));
        const pid_t pid = pid_t(own->process()->processId());
        QElapsedTimer clock;
        clock.start();
        own.reset();
        qInfo("browser ended %lld ms after it was asked to close", clock.elapsed());
        QCOMPARE(::kill(pid, 0), -1); // no such process (reaped by the destructor)
        // Closed as its own menu closes it: its next start offers no "Restore pages?".
        QFile preferences(profile(QStringLiteral("ends/Default/Preferences")));
        QVERIFY(preferences.open(QIODevice::ReadOnly));
        const QJsonObject state = QJsonDocument::fromJson(preferences.readAll()).object()[u"profile"_qs].toObject();
        QCOMPARE(state[u"exit_type"_qs].toString(), u"Normal"_qs);
    }

    void launchFailuresNameTheExecutable() {
        BrowserOptions settings = testSettings();
        settings.executable = QStringLiteral("/nonexistent/chrome");
        BrowserFailure error = browserErrorOf([&] { launchBrowser(settings, profile(QStringLiteral("missing"))); });
        QCOMPARE(error.kind, BrowserError::Kind::NotFound);
        QVERIFY2(error.text.contains(settings.executable), qPrintable(error.text));

        // A browser that ends at once: its own error output is shown.
        QTemporaryDir dir;
        const QString script = dir.filePath(QStringLiteral("fake-browser"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho 'Missing X server or $DISPLAY' >&2\nexit 1\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        settings.executable = script;
        // It fails its start, which the first call that needs the browser meets.
        error = browserErrorOf([&] { launchBrowser(settings, profile(QStringLiteral("ends-at-once")))->busy(); });
        QCOMPARE(error.kind, BrowserError::Kind::StartFailed);
        QVERIFY2(error.text.contains(script), qPrintable(error.text));
        QVERIFY2(error.text.contains(QLatin1String("Missing X server")), qPrintable(error.text));
    }

    void cleanupTestCase() { browser.reset(); }
};

QTEST_MAIN(ChromiumTest)
#include "cdp_chromium_e2e_test.moc"
