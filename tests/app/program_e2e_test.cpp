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
    void windowComesBeforeTheBrowser_data();
    void windowComesBeforeTheBrowser();
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

void ProgramE2eTest::windowComesBeforeTheBrowser_data() {
    QTest::addColumn<bool>("browserFails");
    QTest::newRow("a click before the browser has answered") << false;
    QTest::newRow("the browser fails once the window is up") << true;
}

// The browser is launched through a script that waits 5 s first: the window
// has to be up, and take a click, before the browser has even started.
void ProgramE2eTest::windowComesBeforeTheBrowser() {
    QFETCH(bool, browserFails);
    Simulator sim;
    QVERIFY(sim.start());
    ProgramRun run;
    run.prepare(sim);
    const QString script = run.file(u"slow-browser"_qs);
    const QString started = run.file(u"browser-started"_qs);
    const QString chromium =
        QFileInfo::exists(u"/usr/lib/chromium/chromium"_qs) ? u"/usr/lib/chromium/chromium"_qs : u"chromium"_qs;
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(u"#!/bin/sh\nsleep 5\ntouch '%1'\n%2\n"_qs
                   .arg(started, browserFails ? u"echo 'no display for the browser' >&2; exit 1"_qs
                                              : u"exec %1 \"$@\""_qs.arg(chromium))
                   .toUtf8());
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QByteArray ini = fileBytes(run.file(u"velkoria.ini"_qs));
    ini.replace("[browser]\n", QByteArray("[browser]\nexecutable=" + QFile::encodeName(script) + '\n'));
    QFile iniFile(run.file(u"velkoria.ini"_qs));
    QVERIFY(iniFile.open(QIODevice::WriteOnly) && iniFile.write(ini) == ini.size());
    iniFile.close();

    QVERIFY(run.start(30000, true));
    QVERIFY(run.messages().isEmpty()); // the main window, not a box
    if (browserFails) {
        // Nothing waits for the browser: its failure is told all the same.
        QVERIFY(run.waitForMessages(1, 30000));
        const QString box = run.messages().first();
        QVERIFY2(box.startsWith(u"実行時エラー '429'"_qs) && box.contains(script) &&
                     box.contains(u"no display for the browser"_qs),
                 qPrintable(box));
        QVERIFY(run.dismissMessage());
        QCOMPARE(run.waitForEnd(10000), 1);
        return;
    }
    run.clickQuickButton(1);
    QVERIFY(!QFile::exists(started));
    // The click waits for the browser, then goes on as ever.
    QVERIFY(waitFor([&] { return !sim.requestsWithBody("key=web_site").isEmpty(); }, 40000));
    QVERIFY(waitFor([&] { return run.browserShown(); }));
    QVERIFY(run.running() && run.messages().isEmpty());
}

QTEST_GUILESS_MAIN(ProgramE2eTest)
#include "program_e2e_test.moc"
