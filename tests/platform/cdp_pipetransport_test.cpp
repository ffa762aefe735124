#include "platform/cdp/pipetransport.h"

#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace velkoria::cdp;

// The pipe transport against real pipes, the test playing the browser: it
// writes to browserOut (the browser's fd 4) and reads browserIn (its fd 3).
class PipeTransportTest : public QObject {
    Q_OBJECT

    std::unique_ptr<PipeTransport> transport;
    int browserIn = -1;
    int browserOut = -1;

    void browserWrites(const QByteArray& bytes) {
        QCOMPARE(::write(browserOut, bytes.constData(), bytes.size()), bytes.size());
    }

private slots:
    void init() {
        int toBrowser[2], fromBrowser[2];
        QCOMPARE(::pipe2(toBrowser, O_CLOEXEC), 0);
        QCOMPARE(::pipe2(fromBrowser, O_CLOEXEC), 0);
        browserIn = toBrowser[0];
        browserOut = fromBrowser[1];
        transport = std::make_unique<PipeTransport>(fromBrowser[0], toBrowser[1]);
    }
    void cleanup() {
        transport.reset();
        if (browserIn >= 0)
            ::close(browserIn);
        if (browserOut >= 0)
            ::close(browserOut);
        browserIn = browserOut = -1;
    }

    void messagesAreSplitAtNulWhateverTheChunks() {
        QByteArray message;
        browserWrites(QByteArray("{\"a\":1}\0{\"b\"", 12));
        QCOMPARE(transport->read(message), Transport::ReadResult::Message);
        QCOMPARE(message, QByteArray("{\"a\":1}"));
        // Half a message: nothing yet.
        QCOMPARE(transport->read(message), Transport::ReadResult::Empty);
        browserWrites(QByteArray(":2}\0\0", 5));
        QCOMPARE(transport->read(message), Transport::ReadResult::Message);
        QCOMPARE(message, QByteArray("{\"b\":2}"));
        QCOMPARE(transport->read(message), Transport::ReadResult::Message);
        QCOMPARE(message, QByteArray());
    }

    void largeMessageArrivesWhole() {
        // Bigger than the pipe's buffer: written from another thread, read
        // whenever the event loop says something has arrived.
        const QByteArray big(1 << 20, 'x');
        std::thread writer([&] {
            QByteArray data = big + '\0';
            qsizetype done = 0;
            while (done < data.size()) {
                const ssize_t n = ::write(browserOut, data.constData() + done, size_t(data.size() - done));
                if (n > 0)
                    done += n;
            }
        });
        QByteArray message;
        transport->setReadableHandler([&] {
            if (message.isEmpty())
                transport->read(message);
        });
        QTRY_COMPARE(message.size(), big.size());
        writer.join();
    }

    void endOfFileAfterTheLastMessage() {
        browserWrites(QByteArray("{}\0", 3));
        ::close(browserOut);
        browserOut = -1;
        QByteArray message;
        QCOMPARE(transport->read(message), Transport::ReadResult::Message);
        QCOMPARE(transport->read(message), Transport::ReadResult::Closed);
        QCOMPARE(transport->read(message), Transport::ReadResult::Closed);
    }

    void writeAddsTheSeparatorAndFailsOnceTheBrowserIsGone() {
        QVERIFY(transport->write("{\"id\":1}"));
        char buffer[32] = {};
        QCOMPARE(::read(browserIn, buffer, sizeof buffer), ssize_t(9));
        QCOMPARE(QByteArray(buffer, 9), QByteArray("{\"id\":1}\0", 9));
        ::close(browserIn);
        browserIn = -1;
        // No SIGPIPE ends the test here.
        QVERIFY(!transport->write("{\"id\":2}"));
        QVERIFY(!transport->write("{\"id\":3}"));
    }

    void idleDataReachesTheReadableHandler() {
        int calls = 0;
        transport->setReadableHandler([&] {
            ++calls;
            QByteArray message;
            while (transport->read(message) == Transport::ReadResult::Message) {
            }
        });
        browserWrites(QByteArray("{}\0", 3));
        QTRY_COMPARE(calls, 1);
        // At end of file the handler is not called over and over.
        ::close(browserOut);
        browserOut = -1;
        QTRY_VERIFY(calls >= 2);
        const int afterEnd = calls;
        QTest::qWait(100);
        QCOMPARE(calls, afterEnd);
    }
};

QTEST_GUILESS_MAIN(PipeTransportTest)
#include "cdp_pipetransport_test.moc"
