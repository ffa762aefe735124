// runHandler: how a handler ends the program, and what happens to a handler
// that starts while another runs (from inside its wait or its message box).
#include "platform/handler.h"
#include "tests/support/fakes.h"

#include <QtTest>

using namespace velkoria;
using namespace velkoria::test;

class HandlerTest : public QObject {
    Q_OBJECT
private slots:
    void anErrorThatNoHandlerCatchesEndsTheProgram_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("runtime error")
            << 0 << u"実行時エラー '62':\n\nファイルにこれ以上データがありません。\nbutton_info.txt"_qs << 1;
        QTest::newRow("browser gone") << 1 << closedBrowserMessage() << 0;
        QTest::newRow("out of memory") << 2 << u"実行時エラー '7':\n\nメモリが不足しています。"_qs << 1;
        QTest::newRow("library exception") << 3 << u"実行時エラー '51':\n\n内部エラーです。\nbad things"_qs << 1;
    }

    void anErrorThatNoHandlerCatchesEndsTheProgram() {
        QFETCH(int, kind);
        QFETCH(QString, box);
        QFETCH(int, exitCode);
        FakeMessageSink messages;
        FakeProgramEnd end;
        bool after = false;
        bool endingDuringTheBox = false;
        messages.onShow = [&](const QString&) { endingDuringTheBox = end.ending(); };
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, runHandler(messages, end, [&] {
                                     if (kind == 0)
                                         throw makeError(InputPastEndOfFile, u"button_info.txt"_qs);
                                     if (kind == 1)
                                         throw BrowserGoneError();
                                     if (kind == 2)
                                         throw std::bad_alloc();
                                     throw std::runtime_error("bad things");
                                     after = true;
                                 }));
        QVERIFY(!after);
        QCOMPARE(messages.texts, QStringList{box});
        QCOMPARE(end.code, exitCode);
        QVERIFY(endingDuringTheBox);
        // From the box on, nothing runs any more.
        bool ran = false;
        runHandler(
            messages, end, [&] { ran = true; }, Overlap::Run);
        QVERIFY(!ran);
    }

    void aHandlerThatStartsWhileAnotherRuns_data() {
        QTest::addColumn<Overlap>("overlap");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("dropped (a click, a scan tick)") << Overlap::Drop << QStringList{u"outer"_qs, u"after"_qs};
        QTest::newRow("deferred (the cycle box)")
            << Overlap::Defer << QStringList{u"outer"_qs, u"inner 1"_qs, u"inner 2"_qs, u"after"_qs};
        QTest::newRow("run at once (Exit, the blink)")
            << Overlap::Run << QStringList{u"inner 1"_qs, u"inner 2"_qs, u"outer"_qs, u"after"_qs};
    }

    void aHandlerThatStartsWhileAnotherRuns() {
        QFETCH(Overlap, overlap);
        QFETCH(QStringList, order);
        FakeMessageSink messages;
        FakeProgramEnd end;
        QStringList ran;
        runHandler(messages, end, [&] {
            // Two events that come inside the outer handler's wait.
            for (int i = 1; i <= 2; ++i)
                runHandler(
                    messages, end, [&ran, i] { ran << u"inner %1"_qs.arg(i); }, overlap);
            ran << u"outer"_qs;
        });
        // Once the outer one has ended, handlers run as usual.
        runHandler(
            messages, end, [&] { ran << u"after"_qs; }, overlap);
        QCOMPARE(ran, order);
        QVERIFY(messages.texts.isEmpty());
    }

    void deferredHandlersGoWithAProgramThatEnds() {
        FakeMessageSink messages;
        FakeProgramEnd end;
        bool deferredRan = false;
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, runHandler(messages, end, [&] {
                                     runHandler(
                                         messages, end, [&] { deferredRan = true; }, Overlap::Defer);
                                     throw BrowserGoneError();
                                 }));
        FakeProgramEnd later; // a test that goes on after its program ended
        runHandler(messages, later, [] {});
        QVERIFY(!deferredRan);
    }
};

QTEST_GUILESS_MAIN(HandlerTest)
#include "handler_test.moc"
