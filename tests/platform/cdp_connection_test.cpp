#include "platform/cdp/connection.h"
#include "tests/platform/faketransport.h"
#include "tests/support/fakes.h"

#include <QTimer>
#include <QtTest>

using namespace velkoria;
using namespace velkoria::cdp;
using velkoria::test::browserErrorOf;
using velkoria::test::BrowserFailure;
using velkoria::test::FakeTransport;

namespace {

struct Outcome {
    bool called = false;
    QJsonObject result;
    std::exception_ptr error;
};

Connection::ReplyHandler record(Outcome& outcome) {
    return [&outcome](const QJsonObject& result, std::exception_ptr error) {
        outcome.called = true;
        outcome.result = result;
        outcome.error = error;
    };
}

bool failedAsGone(const Outcome& outcome) {
    try {
        if (outcome.error)
            std::rethrow_exception(outcome.error);
    } catch (const BrowserGoneError&) {
        return true;
    } catch (...) {
    }
    return false;
}

} // namespace

class ConnectionTest : public QObject {
    Q_OBJECT

    FakeTransport* fake = nullptr;
    std::unique_ptr<Connection> connection;
    QStringList events;

private slots:
    void init() {
        auto transport = std::make_unique<FakeTransport>();
        fake = transport.get();
        connection = std::make_unique<Connection>(std::move(transport));
        events.clear();
        connection->addEventListener([this](const QString& method, const QJsonObject& params, const QString& session) {
            events << method + u' ' + params.value(u"n").toString() + u' ' + session;
            // A page closed by the user: the event arrives, the pipe stays open.
            if (method == u"Inspector.detached")
                connection->markGone();
        });
    }

    void commandsCarryIdMethodParamsAndSession() {
        connection->post(QStringLiteral("Page.enable"), {}, QStringLiteral("S1"));
        connection->post(QStringLiteral("Browser.getVersion"));
        connection->post(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), QStringLiteral("http://x/")}});
        QCOMPARE(fake->written.size(), 3);
        QCOMPARE(fake->written[0].value(u"sessionId").toString(), QStringLiteral("S1"));
        QVERIFY(!fake->written[1].contains(u"sessionId"));
        QVERIFY(!fake->written[1].contains(u"params"));
        QCOMPARE(fake->written[2].value(u"params").toObject().value(u"url").toString(), QStringLiteral("http://x/"));
        QVERIFY(fake->written[0].value(u"id").toInteger() < fake->written[1].value(u"id").toInteger());
    }

    void repliesOutOfOrderReachTheirOwnCallers() {
        Outcome first, second;
        connection->post(QStringLiteral("A.first"), {}, {}, record(first));
        connection->post(QStringLiteral("A.second"), {}, {}, record(second));
        const qint64 id1 = fake->written[0].value(u"id").toInteger();
        const qint64 id2 = fake->written[1].value(u"id").toInteger();
        fake->reply(id2, {{QStringLiteral("v"), 2}});
        fake->reply(id1, {{QStringLiteral("v"), 1}});
        fake->readable();
        QVERIFY(first.called && second.called);
        QCOMPARE(first.result.value(u"v").toInt(), 1);
        QCOMPARE(second.result.value(u"v").toInt(), 2);
    }

    void eventsWhileAReplyIsPendingAreDispatchedInOrder() {
        // As with Page.navigate, whose reply comes only after the client has
        // reacted to events (Fetch.requestPaused).
        fake->onWrite = [this](const QJsonObject& command) {
            if (command.value(u"method").toString() != QLatin1String("Page.navigate"))
                return;
            fake->event(QStringLiteral("Page.frameStartedLoading"), {{QStringLiteral("n"), QStringLiteral("1")}},
                        QStringLiteral("S"));
            fake->event(QStringLiteral("Fetch.requestPaused"), {{QStringLiteral("n"), QStringLiteral("2")}},
                        QStringLiteral("S"));
            fake->reply(command.value(u"id").toInteger(), {{QStringLiteral("loaderId"), QStringLiteral("L")}});
            fake->event(QStringLiteral("Page.lifecycleEvent"), {{QStringLiteral("n"), QStringLiteral("3")}},
                        QStringLiteral("S"));
        };
        const QJsonObject result =
            connection->call(QStringLiteral("Page.navigate"), {}, QStringLiteral("S"), QDeadlineTimer(1000));
        QCOMPARE(result.value(u"loaderId").toString(), QStringLiteral("L"));
        // The burst that carried the reply is dispatched whole.
        QCOMPARE(events,
                 (QStringList{QStringLiteral("Page.frameStartedLoading 1 S"), QStringLiteral("Fetch.requestPaused 2 S"),
                              QStringLiteral("Page.lifecycleEvent 3 S")}));
    }

    void anAnswerThatArrivesDuringTheWaitEndsIt() {
        // The event loop hands the answer over, as the pipe's notifier does.
        QTimer::singleShot(30, this, [this] {
            fake->reply(fake->written[0].value(u"id").toInteger(), {{QStringLiteral("ok"), true}});
            fake->readable();
        });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(connection->call(QStringLiteral("Page.reload"), {}, {}, QDeadlineTimer(10000)).value(u"ok").toBool());
        QVERIFY(clock.elapsed() < 5000);
    }

    void protocolErrorNamesItsCommand() {
        fake->onWrite = [this](const QJsonObject& command) {
            fake->queue({{QStringLiteral("id"), command.value(u"id")},
                         {QStringLiteral("error"),
                          QJsonObject{{QStringLiteral("code"), -32000},
                                      {QStringLiteral("message"), QStringLiteral("Cannot navigate to invalid URL")}}}});
        };
        const BrowserFailure error =
            browserErrorOf([&] { connection->call(QStringLiteral("Page.navigate"), {}, {}, QDeadlineTimer(1000)); });
        QCOMPARE(error.kind, BrowserError::Kind::Refused);
        QVERIFY2(error.text.contains(QLatin1String("Page.navigate")), qPrintable(error.text));
        QVERIFY(error.text.contains(QLatin1String("Cannot navigate to invalid URL")));
        QVERIFY(!connection->isGone());
    }

    void unansweredCallTimesOutAndItsLateReplyIsIgnored() {
        const BrowserFailure error =
            browserErrorOf([&] { connection->call(QStringLiteral("Runtime.evaluate"), {}, {}, QDeadlineTimer(0)); });
        QCOMPARE(error.kind, BrowserError::Kind::NoAnswer);
        QVERIFY(error.text.contains(QLatin1String("Runtime.evaluate")));
        fake->reply(fake->written[0].value(u"id").toInteger(), {{QStringLiteral("late"), true}});
        fake->event(QStringLiteral("After.late"));
        fake->readable();
        QCOMPARE(events, QStringList{QStringLiteral("After.late  ")});
        QVERIFY(!connection->isGone());
    }

    void callTimesOutWhileEventsKeepComing() {
        fake->chatty = true;
        QTimer stream; // the pipe's notifier of a browser that never stops talking
        connect(&stream, &QTimer::timeout, this, [this] { fake->readable(); });
        stream.start(0);
        QVERIFY_THROWS_EXCEPTION(BrowserCommandError,
                                 connection->call(QStringLiteral("Page.getFrameTree"), {}, {}, QDeadlineTimer(50)));
        QVERIFY(!connection->isGone());
    }

    void browserGoneFailsEveryWaiter_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("pipe ends while idle") << u"idle"_qs;
        QTest::newRow("pipe ends during a call") << u"call"_qs;
        QTest::newRow("write fails") << u"write"_qs;
        QTest::newRow("Inspector.detached") << u"detached"_qs;
    }

    void browserGoneFailsEveryWaiter() {
        QFETCH(QString, how);
        Outcome outcomes[3];
        for (Outcome& outcome : outcomes)
            connection->post(QStringLiteral("Any.command"), {}, {}, record(outcome));
        // The message before the end is still delivered; nothing after it.
        fake->event(QStringLiteral("Last.event"));
        if (how == u"idle") {
            fake->closeInput();
            fake->readable();
        } else if (how == u"call") {
            fake->onWrite = [this](const QJsonObject&) { fake->closeInput(); };
            QVERIFY_THROWS_EXCEPTION(BrowserGoneError, connection->call(QStringLiteral("Page.navigate"), {}, {},
                                                                        QDeadlineTimer(QDeadlineTimer::Forever)));
        } else if (how == u"write") {
            fake->readable();
            fake->outputClosed = true;
            connection->post(QStringLiteral("Failing.write"));
        } else {
            fake->event(QStringLiteral("Inspector.detached"));
            fake->event(QStringLiteral("Never.dispatched"));
            fake->readable();
        }
        QVERIFY(connection->isGone());
        QCOMPARE(events.first(), QStringLiteral("Last.event  "));
        QVERIFY(!events.contains(QStringLiteral("Never.dispatched  ")));
        for (const Outcome& outcome : outcomes)
            QVERIFY(outcome.called && failedAsGone(outcome));

        // Later calls fail at once, and nothing more is sent.
        const qsizetype written = fake->written.size();
        Outcome later;
        connection->post(QStringLiteral("Later.post"), {}, {}, record(later));
        QVERIFY(later.called && failedAsGone(later));
        QVERIFY_THROWS_EXCEPTION(BrowserGoneError,
                                 connection->call(QStringLiteral("Later.call"), {}, {}, QDeadlineTimer(1000)));
        QVERIFY_THROWS_EXCEPTION(BrowserGoneError, connection->throwIfGone());
        QCOMPARE(fake->written.size(), written);
        // What still comes is read and dropped: left unread, it would wake the
        // program's event loop again and again.
        fake->event(QStringLiteral("After.end"));
        fake->readable();
        QVERIFY(fake->incoming.isEmpty());
        QVERIFY(!events.contains(QStringLiteral("After.end  ")));
    }

    void malformedMessagesAreSkipped() {
        fake->incoming << QByteArray("not json") << QByteArray("{\"neither\":1}");
        fake->event(QStringLiteral("Good"));
        fake->readable();
        QCOMPARE(events, QStringList{QStringLiteral("Good  ")});
    }
};

QTEST_GUILESS_MAIN(ConnectionTest)
#include "cdp_connection_test.moc"
