// The built program for real: a temp program folder, the real browser, the
// marketplace simulator on loopback, a virtual display with a window manager.
#include "tests/support/programrun.h"
#include "tests/support/tempfolder.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QThread>
#include <QtTest>

using namespace velkoria::test;

namespace {
QByteArray bodyOf(const QJsonObject& request) {
    return QByteArray::fromHex(request.value(u"body_hex"_qs).toString().toLatin1());
}

QString header(const QJsonObject& request, const QString& name) {
    const QJsonObject headers = request.value(u"headers"_qs).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    return {};
}

// Option1(2), "見積件数順", in the client area.
const QPoint kBiddingOption(96, 520);
} // namespace

class ProgramE2eTest : public QObject {
    Q_OBJECT
private slots:
    void startsAtTopLeftAndWritesNothing();
    void quickButtonsPostTheSearch();
    void myBusinessPostsTheLoginOverHttps();
    void closedBrowserEndsTheProgram_data();
    void closedBrowserEndsTheProgram();
    void stalledPageEndsAtTheLimit();
};

void ProgramE2eTest::startsAtTopLeftAndWritesNothing() {
    Simulator sim;
    QVERIFY(sim.start());
    ProgramRun run;
    run.prepare(sim);
    const QByteArray buttons = fileBytes(run.file(u"button_info.txt"_qs));
    const QByteArray categories = fileBytes(run.file(u"category.txt"_qs));
    QVERIFY(run.start());
    const QPoint origin = run.clientOrigin();
    QVERIFY2(origin.x() < 10 && origin.y() < 80, qPrintable(u"%1,%2"_qs.arg(origin.x()).arg(origin.y())));
    QThread::msleep(1500);
    QVERIFY(run.running());
    QVERIFY(!run.browserShown()); // the browser starts hidden
    QCOMPARE(fileBytes(run.file(u"button_info.txt"_qs)), buttons);
    QCOMPARE(fileBytes(run.file(u"category.txt"_qs)), categories);
    QCOMPARE(QDir(run.folder()).entryList(QDir::Files | QDir::NoDotAndDotDot),
             (QStringList{u"button_info.txt"_qs, u"category.txt"_qs, u"velkoria"_qs, u"velkoria.ini"_qs}));
    QVERIFY(run.messages().isEmpty());
    QVERIFY(sim.requests().isEmpty()); // nothing is loaded at start-up
}

void ProgramE2eTest::quickButtonsPostTheSearch() {
    Simulator sim;
    QVERIFY(sim.start());
    ProgramRun run;
    run.prepare(sim);
    QVERIFY(run.start());
    run.clickQuickButton(1);
    QVERIFY(waitFor([&] { return !sim.requestsWithBody("key=web_site").isEmpty(); }));
    const QJsonObject search = sim.requestsWithBody("key=web_site").first();
    QCOMPARE(search.value(u"method"_qs).toString(), u"POST"_qs);
    QCOMPARE(search.value(u"scheme"_qs).toString(), u"http"_qs);
    QCOMPARE(search.value(u"path"_qs).toString(), u"/"_qs);
    QVERIFY(search.value(u"query"_qs).toString().isEmpty());
    QCOMPARE(bodyOf(search), QByteArray("menu=browse&act=search_request&type=category&key=web_site"
                                        "&condition=present&sort_type=registered&sort_button=display"));
    QCOMPARE(header(search, u"Content-Type"_qs), u"application/x-www-form-urlencoded"_qs);
    QVERIFY(waitFor([&] { return run.browserShown(); }));

    // The deadline sort, then a search of the fourth button.
    run.clickClient(kBiddingOption);
    QThread::msleep(300);
    run.clickQuickButton(4);
    QVERIFY(waitFor([&] { return !sim.requestsWithBody("key=printing").isEmpty(); }));
    QVERIFY(bodyOf(sim.requestsWithBody("key=printing").first()).contains("&sort_type=bidding&"));
    QVERIFY(run.running());
}

void ProgramE2eTest::myBusinessPostsTheLoginOverHttps() {
    Simulator sim;
    QVERIFY(sim.start());
    ProgramRun run;
    run.prepare(sim);
    // Japanese and the form's own signs in the account must arrive intact.
    QFile account(run.file(u"zandorp_id.txt"_qs));
    QVERIFY(account.open(QIODevice::WriteOnly));
    account.write(cp932(u"山田 太郎@例\r\np&w=1+2%3\r\n"_qs));
    account.close();
    QVERIFY(run.start());
    run.clickMyBusiness();
    QVERIFY(waitFor([&] { return !sim.requestsWithBody("sbmLogin=next").isEmpty(); }));
    const QJsonObject login = sim.requestsWithBody("sbmLogin=next").first();
    QCOMPARE(login.value(u"scheme"_qs).toString(), u"https"_qs);
    QCOMPARE(login.value(u"method"_qs).toString(), u"POST"_qs);
    QCOMPARE(login.value(u"query"_qs).toString(), u"menu=my_top&act=login&query=menu%3Dmy_top%26act%3Dtop"_qs);
    QCOMPARE(bodyOf(login), QByteArray("email=%8ER%93c+%91%BE%98Y%40%97%E1&pass1=p%26w%3D1%2B2%253&sbmLogin=next"));
    QCOMPARE(header(login, u"Content-Type"_qs), u"application/x-www-form-urlencoded"_qs);
    QVERIFY(waitFor([&] { return run.browserShown(); }));
}

void ProgramE2eTest::closedBrowserEndsTheProgram_data() {
    QTest::addColumn<bool>("myBusiness");
    QTest::newRow("quick button") << false;
    QTest::newRow("My Business") << true;
}

void ProgramE2eTest::closedBrowserEndsTheProgram() {
    QFETCH(bool, myBusiness);
    Simulator sim;
    QVERIFY(sim.start());
    ProgramRun run;
    run.prepare(sim);
    QVERIFY(run.start());
    run.clickQuickButton(2);
    QVERIFY(waitFor([&] { return run.browserShown(); }));
    QVERIFY(waitFor([&] { return !sim.requestsWithBody("key=system_dev").isEmpty(); }));
    QThread::msleep(1000);
    // The user closes the browser window.
    const QString browserWindow = findWindows({u"--class"_qs, u"chromium"_qs}).value(0);
    runTool(u"xdotool"_qs, {u"windowactivate"_qs, u"--sync"_qs, browserWindow});
    runTool(u"xdotool"_qs, {u"key"_qs, u"ctrl+w"_qs});
    QVERIFY(waitFor([&] { return !run.browserShown(); }));
    QThread::msleep(500);
    if (myBusiness)
        run.clickMyBusiness();
    else
        run.clickQuickButton(1);
    QVERIFY(run.waitForMessages(1, 10000));
    QCOMPARE(run.messages(), QStringList{u"インターネットエクスプローラが終了しています。Velkoriaを終了します"_qs});
    QVERIFY(run.dismissMessage());
    QCOMPARE(run.waitForEnd(10000), 0);
}

void ProgramE2eTest::stalledPageEndsAtTheLimit() {
    Simulator sim;
    QVERIFY(sim.start());
    ProgramRun run;
    run.prepare(sim, 3);
    QVERIFY(run.start());
    QVERIFY(sim.command(u"fail web_site stall"_qs).startsWith(u"OK"_qs));
    run.clickQuickButton(1);
    QVERIFY(waitFor([&] { return !sim.requestsWithBody("key=web_site").isEmpty(); }));
    // The program waits for the page at most 3 s, then handles clicks again.
    QThread::msleep(3500);
    run.clickQuickButton(2);
    QVERIFY(waitFor([&] { return !sim.requestsWithBody("key=system_dev").isEmpty(); }, 15000));
    QVERIFY(run.running());
    QVERIFY(run.messages().isEmpty());
}

QTEST_GUILESS_MAIN(ProgramE2eTest)
#include "program_e2e_test.moc"
