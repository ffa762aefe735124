// Scans through the built program, the real browser and the marketplace
// simulator: what is announced, and what the seen-request file holds.
#include "platform/textfile.h"
#include "tests/support/programrun.h"

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
    const QString page = decodeCp932(reply->readAll());
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
    void aCategoryThatKeepsFailingIsReportedOnceAndWhenItWorksAgain();
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

    // A request that appears later is announced in the next run, once.
    QVERIFY(sim.command(u"add printing 99001"_qs).startsWith(u"OK"_qs));
    QCOMPARE(run.scan(), QStringList{u"新規案件:印刷"_qs});
    QVERIFY(seenFile(run).contains(u"99001"_qs));

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

void ScanE2eTest::aCategoryThatKeepsFailingIsReportedOnceAndWhenItWorksAgain() {
    Simulator sim;
    QVERIFY(sim.start());
    ProgramRun run;
    run.prepare(sim, 10);
    QVERIFY(run.start());
    run.scan(); // the first run announces what is there

    QVERIFY(sim.command(u"fail translation 500 3"_qs).startsWith(u"OK"_qs));
    QCOMPARE(run.scan(), QStringList());
    QCOMPARE(run.scan(), QStringList());
    const QStringList third = run.scan();
    QCOMPARE(third.size(), 1);
    QVERIFY2(third[0].contains(u"「翻訳・通訳」"_qs) && third[0].contains(u"3 回続けて"_qs), qPrintable(third[0]));
    // Still broken or not, it is said once; then the site answers again.
    const QStringList fourth = run.scan();
    QCOMPARE(fourth.size(), 1);
    QVERIFY2(fourth[0].contains(u"「翻訳・通訳」"_qs) && fourth[0].contains(u"また読み込める"_qs),
             qPrintable(fourth[0]));
    QCOMPARE(run.scan(), QStringList());
    QVERIFY(run.running());
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
    // Ends during the wait, long before the page's time limit, and only once
    // the browser has ended too: the next start finds its profile free.
    QCOMPARE(run.waitForEnd(10000), 0);
    QCOMPARE(runTool(u"pgrep"_qs, {u"-f"_qs, u"--"_qs, u"--user-data-dir="_qs + run.folder()}), QString());
}

QTEST_GUILESS_MAIN(ScanE2eTest)
#include "scan_e2e_test.moc"
