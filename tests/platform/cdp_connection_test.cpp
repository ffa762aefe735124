#include "platform/cdp/connection.h"
#include "platform/waitpump.h"
#include "tests/platform/faketransport.h"
#include "tests/support/fakes.h"

#include <QtTest>

using namespace velkoria;
using velkoria::test::errorNumber;
using namespace velkoria::cdp;
using velkoria::test::FakeTransport;

namespace {

struct Outcome {
    bool called = false;
    QJsonObject result;
    std::optional<RuntimeError> error;
};

Connection::ReplyHandler record(Outcome& outcome) {
    return [&outcome](const QJsonObject& result, const std::optional<RuntimeError>& error) {
        outcome.called = true;
        outcome.result = result;
        outcome.error = error;
    };
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
        QVERIFY(connection->waitForMessage(QDeadlineTimer(0)));
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

    void protocolErrorNamesItsCommand() {
        fake->onWrite = [this](const QJsonObject& command) {
            fake->queue({{QStringLiteral("id"), command.value(u"id")},
                         {QStringLiteral("error"),
                          QJsonObject{{QStringLiteral("code"), -32000},
                                      {QStringLiteral("message"), QStringLiteral("Cannot navigate to invalid URL")}}}});
        };
        try {
            connection->call(QStringLiteral("Page.navigate"), {}, {}, QDeadlineTimer(1000));
            QFAIL("no error");
        } catch (const RuntimeError& error) {
            QCOMPARE(error.number(), AutomationError);
            QVERIFY2(error.description().contains(QLatin1String("Page.navigate")), qPrintable(error.description()));
            QVERIFY(error.description().contains(QLatin1String("Cannot navigate to invalid URL")));
        }
        QVERIFY(!connection->isGone());
    }

    void unansweredCallTimesOutAndItsLateReplyIsIgnored() {
        try {
            connection->call(QStringLiteral("Runtime.evaluate"), {}, {}, QDeadlineTimer(0));
            QFAIL("no error");
        } catch (const RuntimeError& error) {
            QCOMPARE(error.number(), AutomationError);
            QVERIFY(error.description().contains(QLatin1String("Runtime.evaluate")));
        }
        fake->reply(fake->written[0].value(u"id").toInteger(), {{QStringLiteral("late"), true}});
        fake->event(QStringLiteral("After.late"));
        QVERIFY(connection->waitForMessage(QDeadlineTimer(0)));
        QCOMPARE(events, QStringList{QStringLiteral("After.late  ")});
        QVERIFY(!connection->isGone());
    }

    void callTimesOutWhileEventsKeepComing() {
        fake->chatty = true;
        QVERIFY_THROWS_EXCEPTION(RuntimeError,
                                 connection->call(QStringLiteral("Page.getFrameTree"), {}, {}, QDeadlineTimer(50)));
        QVERIFY(!connection->isGone());
    }

    void pipeEndFailsEveryPendingCallAndEveryLaterOne() {
        Outcome outcomes[3];
        for (Outcome& outcome : outcomes)
            connection->post(QStringLiteral("Any.command"), {}, {}, record(outcome));
        fake->event(QStringLiteral("Last.event"));
        fake->closeInput();
        // The message before the end is still delivered; then the wait fails at once.
        QCOMPARE(errorNumber([&] { connection->waitForMessage(QDeadlineTimer(QDeadlineTimer::Forever)); }),
                 int(BrowserGone));
        QCOMPARE(events.size(), 1);
        for (const Outcome& outcome : outcomes) {
            QVERIFY(outcome.called);
            QVERIFY(outcome.error);
            QCOMPARE(outcome.error->number(), int(BrowserGone));
        }
        const int written = fake->written.size();
        QCOMPARE(errorNumber([&] { connection->post(QStringLiteral("Later.post")); }), int(BrowserGone));
        QCOMPARE(errorNumber([&] { connection->call(QStringLiteral("Later.call"), {}, {}, QDeadlineTimer(1000)); }),
                 int(BrowserGone));
        QCOMPARE(errorNumber([&] { connection->waitForMessage(QDeadlineTimer(1000)); }), int(BrowserGone));
        QCOMPARE(fake->written.size(), written); // nothing more is sent
    }

    void pipeEndDuringACallFailsIt() {
        fake->onWrite = [this](const QJsonObject&) { fake->closeInput(); };
        QCOMPARE(errorNumber([&] {
                     connection->call(QStringLiteral("Page.navigate"), {}, {}, QDeadlineTimer(QDeadlineTimer::Forever));
                 }),
                 int(BrowserGone));
    }

    void failedWriteMeansGone() {
        Outcome pending;
        connection->post(QStringLiteral("First"), {}, {}, record(pending));
        fake->outputClosed = true;
        QCOMPARE(errorNumber([&] { connection->post(QStringLiteral("Second")); }), int(BrowserGone));
        QVERIFY(connection->isGone());
        QVERIFY(pending.called && pending.error && pending.error->number() == BrowserGone);
    }

    void listenerMarkingGoneEndsTheWaitAndFailsPendingCalls() {
        // A page closed by the user: the event arrives, the pipe stays open.
        connection->addEventListener([this](const QString& method, const QJsonObject&, const QString&) {
            if (method == QLatin1String("Inspector.detached"))
                connection->markGone();
        });
        Outcome pending;
        connection->post(QStringLiteral("Runtime.evaluate"), {}, {}, record(pending));
        fake->event(QStringLiteral("Inspector.detached"));
        fake->event(QStringLiteral("Never.dispatched"));
        QCOMPARE(errorNumber([&] { connection->waitForMessage(QDeadlineTimer(1000)); }), int(BrowserGone));
        QVERIFY(pending.called && pending.error && pending.error->number() == BrowserGone);
        QCOMPARE(events, QStringList{QStringLiteral("Inspector.detached  ")});
    }

    void idleDrainDispatchesWithoutThrowing() {
        fake->event(QStringLiteral("One"));
        fake->event(QStringLiteral("Two"));
        QVERIFY(fake->readable);
        fake->readable(); // what the event loop does when the pipe has data
        QCOMPARE(events.size(), 2);
        fake->closeInput();
        fake->readable();
        QVERIFY(connection->isGone());
    }

    void waitReturnsFalseAtTheDeadline() {
        QVERIFY(!connection->waitForMessage(QDeadlineTimer(0)));
        QVERIFY(!connection->isGone());
    }

    void waitsKeepTheProgramsWindowsAliveUntilTheAnswer() {
        // A browser that answers only after a while: the wait runs the program's
        // pump every slice meanwhile, and the answer still reaches the caller.
        fake->slowReads = true;
        int pumped = 0;
        setWaitPump([&] {
            if (++pumped == 5)
                fake->reply(fake->written[0].value(u"id").toInteger(), {{QStringLiteral("ok"), true}});
        });
        const auto unset = qScopeGuard([] { setWaitPump({}); });
        const QJsonObject result = connection->call(QStringLiteral("Page.reload"), {}, {}, QDeadlineTimer(5000));
        QVERIFY(result.value(u"ok").toBool());
        QCOMPARE(pumped, 5);

        // A user who ends the program from the pump ends the wait at once; the
        // command's late answer goes nowhere.
        setWaitPump([] { throw test::ProgramEnded{0}; });
        QVERIFY_THROWS_EXCEPTION(test::ProgramEnded,
                                 connection->call(QStringLiteral("Page.reload"), {}, {}, QDeadlineTimer(5000)));
        setWaitPump({});
        fake->reply(fake->written[1].value(u"id").toInteger(), {});
        QVERIFY(connection->waitForMessage(QDeadlineTimer(0)));

        // Where the event loop hands arrived messages over by itself (the
        // Windows pipe), the pump may take the answer: the wait still has it.
        setWaitPump([&] {
            fake->reply(fake->written[2].value(u"id").toInteger(), {{QStringLiteral("ok"), true}});
            connection->dispatchArrived();
        });
        QVERIFY(connection->call(QStringLiteral("Page.reload"), {}, {}, QDeadlineTimer(2000)).value(u"ok").toBool());
        setWaitPump({});
    }

    void malformedMessagesAreSkipped() {
        fake->incoming << QByteArray("not json") << QByteArray("{\"neither\":1}");
        fake->event(QStringLiteral("Good"));
        QVERIFY(connection->waitForMessage(QDeadlineTimer(0)));
        QCOMPARE(events, QStringList{QStringLiteral("Good  ")});
    }
};

QTEST_GUILESS_MAIN(ConnectionTest)
#include "cdp_connection_test.moc"
