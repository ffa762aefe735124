// The browser object's start against a scripted protocol peer: what start-up
// may do before the page's session is set up, and how a failed setup shows.
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
        if (method == u"Target.getTargets")
            return {{u"targetInfos"_qs, QJsonArray{QJsonObject{{u"type"_qs, u"page"_qs}, {u"targetId"_qs, u"T"_qs}}}}};
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

std::unique_ptr<cdp::CdpBrowser> started(Peer& peer) {
    auto transport = std::make_unique<FakeTransport>();
    peer.transport = transport.get();
    transport->onWrite = [&peer](const QJsonObject& command) { peer.onWrite(command); };
    auto browser = std::make_unique<cdp::CdpBrowser>(std::make_unique<cdp::Connection>(std::move(transport)), 100);
    browser->attach();
    return browser;
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
    peer.held = {u"Page.enable"_qs}; // the page's renderer is still starting
    auto browser = started(peer);
    // The window was asked to minimize before anything waits for the page.
    QVERIFY(std::any_of(peer.transport->written.begin(), peer.transport->written.end(),
                        [](const QJsonObject& c) { return c.value(u"method"_qs) == u"Browser.setWindowBounds"_qs; }));
    // What start-up does next needs no answer from the page.
    browser->setVisible(false);
    browser->setTop(0);
    // A call that needs the page waits for the setup (here: until its limit).
    QVERIFY_THROWS_EXCEPTION(BrowserCommandError, browser->busy());
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
        const RuntimeError error = errorOf([&] { browser->navigate(u"http://127.0.0.1:9/"_qs, "x=1", {}); });
        QCOMPARE(error.number(), int(AutomationError));
        QVERIFY2(error.description().contains(u"Network.enable"_qs), qPrintable(error.description()));
    }
    // The browser going away is still told apart from every other failure.
    Peer gone;
    gone.held = {u"Target.attachToTarget"_qs};
    auto lost = started(gone);
    gone.transport->closeInput();
    QVERIFY_THROWS_EXCEPTION(BrowserGoneError, lost->busy());
}

QTEST_MAIN(CdpBrowserTest)
#include "cdp_browser_test.moc"
