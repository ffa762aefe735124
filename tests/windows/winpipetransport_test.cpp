// The Qt adapter over the Windows pipe channel (platform/cdp/winpipetransport),
// built on Linux over a stand-in channel (adapter/platform/win/pipechannel.h):
// arrivals on the reader thread reach the handler through the event loop, long
// bursts are read to the end, and nothing runs after close.

#include "platform/cdp/connection.h"
#include "platform/cdp/winpipetransport.h"
#include "platform/win/pipechannel.h"

#include <QThread>
#include <QtTest>
#include <thread>

using namespace velkoria;
using namespace velkoria::cdp;

class WinPipeTransportTest : public QObject {
    Q_OBJECT
private slots:
    void arrivalsReachTheHandlerOnTheProgramThread();
    void longBurstsAreReadToTheEnd();
    void nothingRunsAfterClose();
    void handlerThatTakesNothingIsNotLooped();
    void aWaitingCallGetsItsAnswerFromTheReaderThread();
};

namespace {

struct Setup {
    win::PipeChannel* channel;
    std::unique_ptr<WinPipeTransport> transport;
};

Setup make() {
    auto channel = std::make_unique<win::PipeChannel>();
    win::PipeChannel* raw = channel.get();
    return {raw, std::make_unique<WinPipeTransport>(std::move(channel))};
}

} // namespace

void WinPipeTransportTest::arrivalsReachTheHandlerOnTheProgramThread() {
    auto [channel, transport] = make();
    QList<QByteArray> received;
    bool onProgramThread = true;
    transport->setReadableHandler([&, t = transport.get()] {
        onProgramThread = onProgramThread && QThread::currentThread() == qApp->thread();
        QByteArray message;
        while (t->read(message) == Transport::ReadResult::Message)
            received << message;
    });
    std::thread reader([channel = channel] { channel->arrive({"one", "two"}); });
    reader.join();
    QVERIFY(received.isEmpty()); // not on the reader thread: through the event loop
    QTRY_COMPARE(received, (QList<QByteArray>{"one", "two"}));
    QVERIFY(onProgramThread);

    // read() takes what has arrived and never waits.
    QByteArray message;
    QCOMPARE(transport->read(message), Transport::ReadResult::Empty);
    channel->arrive({"three"}, true);
    QCOMPARE(transport->read(message), Transport::ReadResult::Message);
    QCOMPARE(message, QByteArray("three"));
    QCOMPARE(transport->read(message), Transport::ReadResult::Closed);
    QVERIFY(transport->write("x") == false);
}

// The connection reads a bounded burst per call; what is left is read on the
// next call without a new arrival.
void WinPipeTransportTest::longBurstsAreReadToTheEnd() {
    auto [channel, transport] = make();
    int received = 0;
    transport->setReadableHandler([&, t = transport.get()] {
        QByteArray message;
        for (int i = 0; i < 256 && t->read(message) == Transport::ReadResult::Message; ++i)
            ++received;
    });
    channel->arrive(std::vector<std::string>(600, "m"));
    QTRY_COMPARE(received, 600);
}

void WinPipeTransportTest::nothingRunsAfterClose() {
    int calls = 0;
    {
        auto [channel, transport] = make();
        transport->setReadableHandler([&] { ++calls; });
        channel->arrive({"queued"});
        transport->close(); // a call is queued but not yet delivered
        channel->arrive({"after"});
        QCoreApplication::processEvents();
        QCOMPARE(calls, 0);
    }
    // Destroyed with a call queued: it must not run.
    auto [channel, transport] = make();
    transport->setReadableHandler([&] { ++calls; });
    channel->arrive({"queued"});
    transport.reset();
    QTest::qWait(50);
    QCOMPARE(calls, 0);
}

// A connection already gone takes nothing: it is not called again and again.
void WinPipeTransportTest::handlerThatTakesNothingIsNotLooped() {
    auto [channel, transport] = make();
    int calls = 0;
    transport->setReadableHandler([&] { ++calls; });
    channel->arrive({"ignored"});
    QTest::qWait(100);
    QCOMPARE(calls, 1);
    channel->arrive({"again"});
    QTRY_COMPARE(calls, 2);
}

// The program's wait (platform/wait) gets the answer through the same queued
// call that serves the idle program.
void WinPipeTransportTest::aWaitingCallGetsItsAnswerFromTheReaderThread() {
    auto [channel, transport] = make();
    Connection connection(std::move(transport));
    std::thread reader([channel = channel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        channel->arrive({R"({"id":1,"result":{"product":"Chrome"}})"});
    });
    const QJsonObject answer = connection.call(QStringLiteral("Browser.getVersion"), {}, {}, QDeadlineTimer(10000));
    reader.join();
    QCOMPARE(answer.value(u"product").toString(), QStringLiteral("Chrome"));
}

QTEST_GUILESS_MAIN(WinPipeTransportTest)
#include "winpipetransport_test.moc"
