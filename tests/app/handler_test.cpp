// runHandler: how a handler ends the program. When a handler runs while
// another runs is the application's table (tests/app/mainfrm_test.cpp).
#include "app/handler.h"
#include "tests/support/fakeend.h"
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
        runHandler(messages, end, [&] { ran = true; });
        QVERIFY(!ran);
    }
};

QTEST_GUILESS_MAIN(HandlerTest)
#include "handler_test.moc"
