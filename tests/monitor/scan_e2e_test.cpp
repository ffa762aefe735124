// Scans through the built program, the real browser and the marketplace
// simulator: what is announced, and what the seen-request file holds.
#include "monitor/scanrun.h"
#include "platform/textfile.h"
#include "tests/support/programrun.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

using namespace velkoria;
using namespace velkoria::test;

namespace {
struct Bound {
    QString key;
    QString caption;
};
// The installation's quick buttons, in slot order (slots 5 and 7 are unbound).
const QList<Bound> kBound{{u"web_site"_qs, u"ホームページ制作"_qs},
                          {u"system_dev"_qs, u"システム開発"_qs},
                          {u"logo_design"_qs, u"ロゴ制作"_qs},
                          {u"printing"_qs, u"印刷"_qs},
                          {u"translation"_qs, u"翻訳・通訳"_qs}};

// The new-marked request IDs of a category's result list, read from the page
// as the simulator sends it (rows of the list, not the footer).
QStringList newRequestsOnPage(const Simulator& sim, const QString& key) {
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(u"http://127.0.0.1:%1/"_qs.arg(sim.httpPort)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, u"application/x-www-form-urlencoded"_qs);
    QNetworkReply* reply = manager.post(request, "menu=browse&act=search_request&type=category&key=" + key.toLatin1() +
                                                     "&condition=present&sort_type=registered&sort_button=display");
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const QString page = fromCp932(reply->readAll());
    reply->deleteLater();
    QStringList ids;
    const QRegularExpression id(u"/browse/request/([0-9]+)\""_qs);
    for (QString row : page.split(QRegularExpression(u"<tr"_qs, QRegularExpression::CaseInsensitiveOption))) {
        row.truncate(row.indexOf(u"</tr"_qs, 0, Qt::CaseInsensitive)); // the footer is no row
        if (row.contains(u"/img/new.gif"_qs) && row.contains(u"見積件数"_qs))
            ids.append(id.match(row).captured(1));
    }
    return ids;
}

// Whether the cycle label shows its caption on the screen: any dark pixel in
// its place (clientOrigin is the client area's top-left on the screen).
bool cycleLabelShown(const ProgramRun& run, QPoint clientOrigin) {
    const QPoint at = clientOrigin + QPoint(48, 616);
    const QString path = run.file(u"label2.png"_qs);
    runTool(u"import"_qs, {u"-window"_qs, u"root"_qs, u"-crop"_qs, u"41x17+%1+%2"_qs.arg(at.x()).arg(at.y()), path});
    const QImage image(path);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).lightness() < 128)
                return true;
    return false;
}

QStringList seenFile(const ProgramRun& run) {
    return readTextLines(run.file(u"new_item.txt"_qs));
}
} // namespace

class ScanE2eTest : public QObject {
    Q_OBJECT
private slots:
    void scansAnnounceOnlyUnseenRequests();
    void aCategoryThatKeepsFailingIsReportedOnceAndWhenItWorksAgain_data();
    void aCategoryThatKeepsFailingIsReportedOnceAndWhenItWorksAgain();
    void theCategoryAfterABadPageIsAnnouncedInTheSameRun_data();
    void theCategoryAfterABadPageIsAnnouncedInTheSameRun();
    void whileAPageStallsTheLabelBlinksAndExitEnds_data();
    void whileAPageStallsTheLabelBlinksAndExitEnds();
};

void ScanE2eTest::scansAnnounceOnlyUnseenRequests() {
    Simulator sim;
    QVERIFY(sim.start());
    QStringList expectedIds;
    QStringList expectedTexts;
    for (const Bound& b : kBound) {
        const QStringList ids = newRequestsOnPage(sim, b.key);
        QVERIFY2(!ids.isEmpty(), qPrintable(b.key));
        expectedIds += ids;
        for (qsizetype i = 0; i < ids.size(); ++i)
            expectedTexts.append(u"新規案件:"_qs + b.caption);
    }
    ProgramRun run;
    run.prepare(sim, 10);
    QVERIFY(run.start());

    // First run: every new-marked request of every bound category, in slot
    // order, then the file holds exactly their IDs.
    QCOMPARE(run.scan(), expectedTexts);
    QCOMPARE(seenFile(run), expectedIds);
    QVERIFY(!run.browserShown()); // the scan works in the hidden browser

    // Nothing new: nothing announced, the same IDs.
    QCOMPARE(run.scan(), QStringList());
    QCOMPARE(seenFile(run), expectedIds);

    // A request that appears later is announced in the next run, once: here
    // while the user has turned to another program during the run. Its box
    // stands above that program and leaves it the keyboard.
    QVERIFY(sim.command(u"add printing 99001"_qs).startsWith(u"OK"_qs));
    QProcess other;
    other.start(u"xmessage"_qs, {u"-center"_qs, u"another program"_qs});
    const QString otherWindow =
        runTool(u"xdotool"_qs, {u"search"_qs, u"--sync"_qs, u"--onlyvisible"_qs, u"--name"_qs, u"^xmessage$"_qs});
    const qsizetype shown = run.messages().size();
    run.clickScanLabel(); // the run loads five pages before its box
    runTool(u"xdotool"_qs, {u"windowactivate"_qs, u"--sync"_qs, otherWindow});
    QVERIFY(run.waitForMessages(shown + 1, 60000));
    QString box;
    QVERIFY(waitFor([&] {
        return !(box = messageBoxes({u"--pid"_qs, QString::number(run.processId())}).value(0)).isEmpty();
    }));
    QThread::msleep(500); // the window manager has stacked it
    QCOMPARE(runTool(u"xdotool"_qs, {u"getactivewindow"_qs}), otherWindow);
    QStringList stacking; // bottom to top, as decimal IDs
    for (const QString& id :
         runTool(u"xprop"_qs, {u"-root"_qs, u"_NET_CLIENT_LIST_STACKING"_qs}).section(u'#', 1).split(u','))
        stacking.append(QString::number(id.trimmed().toULongLong(nullptr, 16)));
    QVERIFY2(stacking.indexOf(box) > stacking.indexOf(otherWindow), qPrintable(stacking.join(u' ')));
    other.kill();
    other.waitForFinished(3000);
    QVERIFY(run.dismissMessage()); // a click gives it the keyboard, Enter closes it
    QVERIFY(waitFor([&] { return seenFile(run).contains(u"99001"_qs); }, 30000));
    QCOMPARE(run.messages().mid(shown), QStringList{u"新規案件:印刷"_qs});

    // A run in which one category's page fails keeps that category's IDs...
    QVERIFY(sim.command(u"fail system_dev 500"_qs).startsWith(u"OK"_qs));
    QCOMPARE(run.scan(), QStringList());
    const QStringList afterFailure = seenFile(run);
    for (const QString& id : newRequestsOnPage(sim, u"system_dev"_qs))
        QVERIFY(afterFailure.contains(id));
    // ...so the run after it announces none of them again.
    QCOMPARE(run.scan(), QStringList());
    QVERIFY(run.running());
}

void ScanE2eTest::aCategoryThatKeepsFailingIsReportedOnceAndWhenItWorksAgain_data() {
    QTest::addColumn<QString>("failure"); // the simulator's fail mode
    QTest::addColumn<QString>("cause");   // as the message names it
    QTest::newRow("server error") << u"500"_qs << u"サイトがエラーを返しました"_qs;
    // A logged-out site would otherwise look like a category without news.
    QTest::newRow("logged out") << u"login"_qs << u"ログインページに移りました"_qs;
    QTest::newRow("empty answer") << u"empty"_qs << u"空のページ"_qs;
}

void ScanE2eTest::aCategoryThatKeepsFailingIsReportedOnceAndWhenItWorksAgain() {
    QFETCH(QString, failure);
    QFETCH(QString, cause);
    Simulator sim;
    QVERIFY(sim.start());
    ProgramRun run;
    run.prepare(sim, 10);
    QVERIFY(run.start());
    run.scan(); // the first run announces what is there

    QVERIFY(sim.command(u"fail translation %1 3"_qs.arg(failure)).startsWith(u"OK"_qs));
    QCOMPARE(run.scan(), QStringList());
    QCOMPARE(run.scan(), QStringList());
    const QStringList third = run.scan();
    QCOMPARE(third.size(), 1);
    QVERIFY2(third[0].contains(u"「翻訳・通訳」"_qs) && third[0].contains(u"3 回続けて"_qs) && third[0].contains(cause),
             qPrintable(third[0]));
    // Still broken or not, it is said once; then the site answers again.
    const QStringList fourth = run.scan();
    QCOMPARE(fourth.size(), 1);
    QVERIFY2(fourth[0].contains(u"「翻訳・通訳」"_qs) && fourth[0].contains(u"また読み込める"_qs),
             qPrintable(fourth[0]));
    QCOMPARE(run.scan(), QStringList());
    QVERIFY(run.running());
}

void ScanE2eTest::theCategoryAfterABadPageIsAnnouncedInTheSameRun_data() {
    QTest::addColumn<QString>("trouble");      // the simulator's command for the bad category's page
    QTest::addColumn<QStringList>("before");   // the seen-request file before the first run
    QTest::addColumn<QStringList>("expected"); // the boxes of the first run
    QTest::addColumn<QStringList>("seen");     // the seen-request file after it
    const QString bad = u"新規案件:不調"_qs;
    const QString good = u"新規案件:健全"_qs;
    const QStringList both{u"11"_qs, u"22"_qs};
    // A page that never loads is not read: its request waits for a run in which it loads.
    const auto page = [](const char* kind) -> QString { return u"page trouble "_qs + QLatin1String(kind); };
    QTest::newRow("endless script") << page("endless") << QStringList() << QStringList{good} << QStringList{u"22"_qs};
    // A logged-out session sent to the login page, and an empty answer, are
    // no result pages: not read, the next category announced all the same.
    QTest::newRow("search sent to the login page")
        << u"fail trouble login always"_qs << QStringList() << QStringList{good} << QStringList{u"22"_qs};
    QTest::newRow("search answered by an empty body")
        << u"fail trouble empty always"_qs << QStringList() << QStringList{good} << QStringList{u"22"_qs};
    // Nobody can answer a dialog of the hidden browser: the page loads without it.
    QTest::newRow("alert") << page("alert") << QStringList() << QStringList{bad, good} << both;
    QTest::newRow("confirm") << page("confirm") << QStringList() << QStringList{bad, good} << both;
    QTest::newRow("prompt") << page("prompt") << QStringList() << QStringList{bad, good} << both;
    QTest::newRow("5 MB") << page("large 5") << QStringList() << QStringList{bad, good} << both;
    // The markup is read with the browser's own built-ins, not the page's.
    QTest::newRow("built-ins replaced") << page("tamper") << QStringList() << QStringList{bad, good} << both;
    // An ID with a character that code page 932 lacks is written and compared
    // with "?" in its place: the file is written, and it is announced once.
    QTest::newRow("emoji in an ID") << u"add trouble 7\U0001F600"_qs << QStringList() << QStringList{bad, bad, good}
                                    << QStringList{u"7?"_qs, u"11"_qs, u"22"_qs};
    // Collecting stops at the 1000th entry, seen already (1000 boxes would
    // take the test too long): the run says so, and the next category waits.
    QStringList first{u"11"_qs};
    for (int id = 700001; first.size() < 1000; ++id)
        first.append(QString::number(id));
    QTest::newRow("1200 entries") << page("entries 1200") << first << QStringList{collectionStoppedMessage(u"不調"_qs)}
                                  << first;
}

void ScanE2eTest::theCategoryAfterABadPageIsAnnouncedInTheSameRun() {
    QFETCH(QString, trouble);
    QFETCH(QStringList, before);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, seen);
    Simulator sim;
    QVERIFY(sim.start());
    for (const QString& command : QStringList{u"add trouble 11"_qs, u"add healthy 22"_qs, trouble})
        QVERIFY(sim.command(command).startsWith(u"OK"_qs));
    ProgramRun run;
    run.prepare(sim, 15);
    writeTextLines(run.file(u"button_info.txt"_qs), {u"trouble,x ,不調"_qs, u"healthy,x ,健全"_qs, u", ,"_qs, u", ,"_qs,
                                                     u", ,"_qs, u", ,"_qs, u", ,"_qs});
    writeTextLines(run.file(u"new_item.txt"_qs), before);
    QVERIFY(run.start());
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run.scan(), expected);
    qInfo("the run took %lld ms", clock.elapsed());
    QCOMPARE(seenFile(run), seen);
    QVERIFY(!run.browserShown());
    // The next run starts on a page that answers too: nothing new.
    QCOMPARE(run.scan(), expected.filter(u"リアルタイム検査"_qs));
}

void ScanE2eTest::whileAPageStallsTheLabelBlinksAndExitEnds_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Exit button") << false;
    QTest::newRow("closing the window") << true;
}

void ScanE2eTest::whileAPageStallsTheLabelBlinksAndExitEnds() {
    QFETCH(bool, closeBox);
    Simulator sim;
    QVERIFY(sim.start());
    QVERIFY(sim.command(u"fail system_dev stall always"_qs).startsWith(u"OK"_qs));
    ProgramRun run;
    run.prepare(sim, 60);
    QVERIFY(run.start());
    run.clickClient({120, 620}); // the cycle box: automatic scanning on, the label blinks
    run.typeText(u"5"_qs);
    run.clickScanLabel();
    // The second category's page is being waited for, for up to a minute; the
    // label goes on blinking meanwhile, as the user sees it.
    QVERIFY(waitFor([&] { return !sim.requestsWithBody("key=system_dev").isEmpty(); }));
    const QPoint origin = run.clientOrigin();
    bool shown = cycleLabelShown(run, origin);
    int changes = 0;
    for (const QDeadlineTimer watching(4000); !watching.hasExpired(); QThread::msleep(150)) {
        const bool now = cycleLabelShown(run, origin);
        changes += now != shown;
        shown = now;
    }
    QVERIFY2(changes >= 2, qPrintable(QString::number(changes)));
    if (closeBox) {
        // The window manager's close (Alt+F4) on the main window.
        runTool(u"xdotool"_qs, {u"windowactivate"_qs, u"--sync"_qs, run.window()});
        run.key(u"alt+F4"_qs);
    } else {
        run.clickClient({100, 152}); // Exit
    }
    // Ends during the wait, long before the page's time limit, and the browser
    // ends with it: its main process before the program, its helper processes
    // a moment later (under load they may still be going when the program ends).
    QCOMPARE(run.waitForEnd(10000), 0);
    QVERIFY(waitFor(
        [&] {
            return runTool(u"pgrep"_qs, {u"-f"_qs, u"--"_qs, u"--user-data-dir="_qs + run.folder()}).isEmpty();
        },
        5000));
}

QTEST_GUILESS_MAIN(ScanE2eTest)
#include "scan_e2e_test.moc"
