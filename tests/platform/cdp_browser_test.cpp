// The browser object's start against a scripted protocol peer: what start-up
// may do before the browser has answered, and how a failed start or setup shows.
#include "platform/cdp/browserprocess.h"
#include "platform/cdp/cdpbrowser.h"
#include "platform/errors.h"
#include "tests/platform/faketransport.h"
#include "tests/support/fakes.h"

#include <QJsonArray>
#include <QtTest>

using namespace velkoria;
using namespace velkoria::test;

namespace {
// Answers every command as a freshly started browser would, except the
// methods in `held` (not answered until release()) and `refused` (an error).
struct Peer {
    FakeTransport* transport = nullptr;
    QStringList held;
    QStringList refused;
    QList<QJsonObject> heldCommands;

    static QJsonObject resultFor(const QString& method) {
        if (method == u"Target.createTarget")
            return {{u"targetId"_qs, u"T"_qs}};
        if (method == u"Browser.getWindowForTarget")
            return {{u"windowId"_qs, 1}, {u"bounds"_qs, QJsonObject{{u"windowState"_qs, u"minimized"_qs}}}};
        if (method == u"Target.attachToTarget")
            return {{u"sessionId"_qs, u"S"_qs}};
        if (method == u"Page.getFrameTree")
            return {{u"frameTree"_qs, QJsonObject{{u"frame"_qs, QJsonObject{{u"id"_qs, u"F"_qs}}}}}};
        return {};
    }
    void answer(const QJsonObject& command) {
        const QString method = command.value(u"method"_qs).toString();
        const qint64 id = command.value(u"id"_qs).toInteger();
        if (refused.contains(method))
            transport->queue(
                {{u"id"_qs, id}, {u"error"_qs, QJsonObject{{u"code"_qs, -32000}, {u"message"_qs, u"no"_qs}}}});
        else
            transport->reply(id, resultFor(method));
    }
    void onWrite(const QJsonObject& command) {
        if (held.contains(command.value(u"method"_qs).toString()))
            heldCommands.append(command);
        else
            answer(command);
    }
    void release() {
        held.clear();
        for (const QJsonObject& command : std::exchange(heldCommands, {}))
            answer(command);
    }
};

std::unique_ptr<cdp::CdpBrowser> started(Peer& peer, int startLimitMs = 10000) {
    auto transport = std::make_unique<FakeTransport>();
    peer.transport = transport.get();
    transport->onWrite = [&peer](const QJsonObject& command) { peer.onWrite(command); };
    auto browser = std::make_unique<cdp::CdpBrowser>(std::make_unique<cdp::Connection>(std::move(transport)), 100);
    browser->start(startLimitMs);
    return browser;
}

// Whether the program asked for window bounds with that field.
bool askedBounds(const Peer& peer, const char* field) {
    return std::any_of(peer.transport->written.begin(), peer.transport->written.end(), [&](const QJsonObject& c) {
        return c.value(u"method"_qs) == u"Browser.setWindowBounds"_qs &&
               c[u"params"_qs][u"bounds"_qs].toObject().contains(QLatin1String(field));
    });
}
} // namespace

class CdpBrowserTest : public QObject {
    Q_OBJECT
private slots:
    void startUpNeedNotWaitForThePage();
    void failedSetupFailsEveryPageCallNamingIt();
};

void CdpBrowserTest::startUpNeedNotWaitForThePage() {
    Peer peer;
    peer.held = {u"Browser.getVersion"_qs, u"Target.createTarget"_qs}; // the browser has not answered yet
    auto browser = started(peer);
    // What start-up does needs no answer: the window starts hidden, and its
    // top edge is kept for its next show.
    browser->setVisible(false);
    browser->setTop(0);
    QCOMPARE(peer.transport->written.size(), 2);
    peer.release();
    peer.held = {u"Page.enable"_qs}; // the page's renderer is still starting
    // A call that needs the page waits for the start, then for the page's
    // setup (here: until its limit).
    QVERIFY_THROWS_EXCEPTION(BrowserCommandError, browser->busy());
    // The page's window is made minimized: nothing minimizes it afterwards
    // (a window made normal and then minimized was on the screen for a moment).
    QVERIFY(std::any_of(peer.transport->written.begin(), peer.transport->written.end(), [](const QJsonObject& c) {
        return c.value(u"method"_qs) == u"Target.createTarget"_qs &&
               c[u"params"_qs][u"windowState"_qs] == u"minimized"_qs && c[u"params"_qs][u"newWindow"_qs] == true;
    }));
    QVERIFY(!askedBounds(peer, "windowState") && !askedBounds(peer, "top"));
    peer.release();
    QVERIFY(!browser->busy());
    QCOMPARE(browser->readyState(), 4);
}

void CdpBrowserTest::failedSetupFailsEveryPageCallNamingIt() {
    Peer peer;
    peer.refused = {u"Network.enable"_qs};
    auto browser = started(peer);
    browser->setVisible(false);
    for (int i = 0; i < 2; ++i) {
        const BrowserFailure error = browserErrorOf([&] { browser->navigate(u"http://127.0.0.1:9/"_qs, "x=1", {}); });
        QCOMPARE(error.kind, BrowserError::Kind::Refused);
        QVERIFY2(error.text.contains(u"Network.enable"_qs), qPrintable(error.text));
    }
    // A browser that never answers fails its start at the limit: told once,
    // also with nothing waiting, and thrown by every call.
    Peer silent;
    silent.held = {u"Browser.getVersion"_qs, u"Target.createTarget"_qs};
    auto mute = started(silent, 200);
    QList<std::exception_ptr> told;
    mute->onStartFailure([&](std::exception_ptr failure) { told.append(failure); });
    QTRY_COMPARE(told.size(), 1);
    QVERIFY(silent.transport->outputClosed); // a browser that answers late ends by itself
    for (const auto& call : std::initializer_list<std::function<void()>>{
             [&] { mute->setVisible(false); }, [&] { mute->setTop(0); }, [&] { std::rethrow_exception(told.first()); }})
        QVERIFY(browserErrorOf(call).text.contains(u"no answer in time"_qs));
    // The browser going away is still told apart from every other failure.
    Peer gone;
    gone.held = {u"Target.attachToTarget"_qs};
    auto lost = started(gone);
    gone.transport->closeInput();
    QVERIFY_THROWS_EXCEPTION(BrowserGoneError, lost->busy());
}

QTEST_MAIN(CdpBrowserTest)
#include "cdp_browser_test.moc"
