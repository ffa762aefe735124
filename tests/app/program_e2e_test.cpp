// The built program for real: a temp program folder, the real browser, the
// marketplace simulator on loopback, a virtual display with a window manager.
#include "tests/support/programrun.h"
#include "tests/support/tempfolder.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QRegularExpression>
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
    void myBusinessPostsTheLoginOverHttps_data();
    void myBusinessPostsTheLoginOverHttps();
    void closedBrowserEndsTheProgram_data();
    void closedBrowserEndsTheProgram();
    void stalledPageEndsAtTheLimit();
    void windowComesBeforeTheBrowser_data();
    void windowComesBeforeTheBrowser();
    void fitsALaptopAt150PercentWithAPanel();
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

void ProgramE2eTest::myBusinessPostsTheLoginOverHttps_data() {
    QTest::addColumn<bool>("selfNavigating");
    QTest::newRow("from the start") << false;
    // The page shown posts its own search again and again: only the request
    // for the login address may get the account's body.
    QTest::newRow("a page that navigates itself during the login") << true;
}

void ProgramE2eTest::myBusinessPostsTheLoginOverHttps() {
    QFETCH(bool, selfNavigating);
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
    if (selfNavigating) {
        QVERIFY(sim.command(u"page web_site navigate"_qs).startsWith(u"OK"_qs));
        run.clickQuickButton(1);
        QVERIFY(waitFor([&] { return sim.requestsWithBody("key=web_site").size() > 5; }));
    }
    run.clickMyBusiness();
    const bool sent = waitFor([&] { return !sim.requestsWithBody("pass1=").isEmpty(); });
    QThread::msleep(500); // time for a second request with the body, if one were sent
    // The body goes to the login address alone, once, and that address never
    // gets a request without it. The page's own navigation can win over the
    // login, which then fails as a failed navigation does.
    QCOMPARE(sim.requestsWithBody("pass1=").size(), sent ? 1 : 0);
    for (const QJsonObject& request : sim.requests())
        QVERIFY(!request.value(u"query"_qs).toString().contains(u"act=login"_qs) || bodyOf(request).contains("pass1="));
    if (!sent && selfNavigating)
        QSKIP("the page's own navigation cancelled the login");
    QVERIFY(sent);
    const QJsonObject login = sim.requestsWithBody("pass1=").first();
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

// 1920 x 1080 at 150 % with a 48-pixel panel at the bottom leaves 1280 x 688
// device-independent pixels: the window, frame and all, stays inside that
// area, and the scan label at the bottom of its client area is scrolled to
// and clicked.
void ProgramE2eTest::fitsALaptopAt150PercentWithAPanel() {
    // The window manager reserves the panel's room only once it runs itself.
    QVERIFY(waitFor([] {
        return runTool(u"xprop"_qs, {u"-root"_qs, u"_NET_SUPPORTING_WM_CHECK"_qs}).contains(u"window id"_qs);
    }));
    QProcess panel;
    panel.start(u"trayer"_qs,
                {u"--edge"_qs, u"bottom"_qs, u"--height"_qs, u"48"_qs, u"--widthtype"_qs, u"percent"_qs, u"--width"_qs,
                 u"100"_qs, u"--SetDockType"_qs, u"true"_qs, u"--SetPartialStrut"_qs, u"true"_qs});
    const auto workArea = [] { return runTool(u"xprop"_qs, {u"-root"_qs, u"_NET_WORKAREA"_qs}); };
    QVERIFY(panel.waitForStarted());
    QVERIFY2(waitFor([&] { return workArea().contains(u"= 0, 0, 1920, 1032"_qs); }), qPrintable(workArea()));
    Simulator sim;
    QVERIFY(sim.start());
    ProgramRun run;
    run.prepare(sim);
    run.setStarter([&](QProcess& process) {
        QProcessEnvironment env = process.processEnvironment();
        env.insert(u"QT_SCALE_FACTOR"_qs, u"1.5"_qs);
        process.setProcessEnvironment(env);
        process.start(run.file(u"velkoria"_qs), {});
    });
    QVERIFY(run.start());
    QThread::msleep(3000); // the browser has come up and been minimized
    // The window and the frame round it (left, right, top, bottom).
    const QString window = runTool(u"xwininfo"_qs, {u"-id"_qs, run.window()});
    const auto number = [&](const QString& name) {
        return QRegularExpression(name + u":\\s+(-?\\d+)"_qs).match(window).captured(1).toInt();
    };
    const QStringList frame =
        runTool(u"xprop"_qs, {u"-id"_qs, run.window(), u"_NET_FRAME_EXTENTS"_qs}).section(u'=', 1).split(u',');
    QCOMPARE(frame.size(), 4);
    const int height = number(u"Height"_qs);
    const QRect outer =
        QRect(number(u"Absolute upper-left X"_qs), number(u"Absolute upper-left Y"_qs), number(u"Width"_qs), height)
            .adjusted(-frame[0].toInt(), -frame[2].toInt(), frame[1].toInt(), frame[3].toInt());
    QVERIFY2(QRect(0, 0, 1920, 1032).contains(outer) && outer.height() > 1000,
             qPrintable(u"%1,%2 %3x%4"_qs.arg(outer.x()).arg(outer.y()).arg(outer.width()).arg(outer.height())));

    // Scrolled to the end, the client area's bottom is the window's: the scan
    // label's centre lies 42 design pixels above it.
    runTool(u"xdotool"_qs, {u"mousemove"_qs, u"--window"_qs, run.window(), u"100"_qs, u"400"_qs});
    for (int i = 0; i < 15; ++i)
        runTool(u"xdotool"_qs, {u"click"_qs, u"5"_qs});
    ProgramRun::clickInWindow(run.window(), {144, height - 63});
    qsizetype dismissed = 0;
    QVERIFY(waitFor(
        [&] {
            if (run.messages().size() > dismissed && run.dismissMessage())
                ++dismissed;
            return QFile::exists(run.file(u"new_item.txt"_qs)) && dismissed > 0 && dismissed == run.messages().size();
        },
        90000));
    panel.kill();
    panel.waitForFinished(3000);
}

QTEST_GUILESS_MAIN(ProgramE2eTest)
#include "program_e2e_test.moc"
