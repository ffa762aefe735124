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
    // The browser's failures carry no Japanese of their own: their texts are
    // made here, with the numbers users quote.
    void theBrowsersFailuresAreToldWithTheirNumbers_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("box");
        const QString started =
            u"実行時エラー '429':\n\nブラウザ（Chrome、Edge または Chromium）を起動できません。\n"_qs;
        QTest::newRow("crashed at start, Windows' exit code")
            << 1 << started + u"ブラウザ chrome.exe が起動直後に終了しました。\n終了コード: 0xC0000135\nno dll"_qs;
        QTest::newRow("no page, its cause")
            << 2
            << started + u"ブラウザ chrome のページに接続できません。\nブラウザの操作でエラーが発生しました。\n"
                         "ブラウザが応答しません (Target.attachToTarget)"_qs;
        QTest::newRow("profile held, holder unknown")
            << 3
            << started + u"ブラウザ用のフォルダ p は、実行中の別のブラウザが使っています。"
                         "同じフォルダの Velkoria がすでに起動していないか確かめてください。"_qs;
    }

    void theBrowsersFailuresAreToldWithTheirNumbers() {
        QFETCH(int, kind);
        QFETCH(QString, box);
        using Kind = BrowserError::Kind;
        std::unique_ptr<BrowserError> error;
        if (kind == 0) {
            error =
                std::make_unique<BrowserCommandError>(Kind::Refused, u"Page.navigate"_qs, u"Invalid URL"_qs, -32000);
        } else if (kind == 1) {
            error = std::make_unique<BrowserStartError>(Kind::StartFailed, u"chrome.exe"_qs);
            error->stage = BrowserError::Stage::EndedAtOnce;
            error->exitCode = 0xC0000135;
            error->message = u"no dll"_qs;
        } else if (kind == 2) {
            error = std::make_unique<BrowserStartError>(Kind::StartFailed, u"chrome"_qs);
            error->stage = BrowserError::Stage::NoPage;
            error->cause = std::make_shared<BrowserCommandError>(Kind::NoAnswer, u"Target.attachToTarget"_qs);
        } else {
            error = std::make_unique<BrowserStartError>(Kind::ProfileInUse, u"p"_qs);
        }
        FakeMessageSink messages;
        FakeProgramEnd end;
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, runHandler(messages, end, [&] { throw *error; }));
        QCOMPARE(messages.texts, QStringList{box});
        QCOMPARE(end.code, 1);
    }
};

QTEST_GUILESS_MAIN(HandlerTest)
#include "handler_test.moc"
