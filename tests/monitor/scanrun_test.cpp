#include "monitor/scanrun.h"
#include "platform/errors.h"
#include "tests/support/fakebrowser.h"
#include "tests/support/fakes.h"
#include "tests/support/recordingsink.h"
#include "tests/support/tempfolder.h"

#include <QMap>
#include <QtTest>

using namespace velkoria;
using namespace velkoria::test;

namespace {

// One entry of a result page as the site writes it.
QString entry(const QString& id, bool isNew, const QString& title = u"タイトル"_qs) {
    return u"<TR><TD><A href=\"/browse/request/"_qs + id + u"\">"_qs + title + u"</A>"_qs +
           (isNew ? u" <IMG src=\"/img/new.gif\">"_qs : QString()) +
           u"</TD><TD><FONT size=\"2\">見積件数</FONT> 3件</TD></TR>"_qs;
}

// A result page whose entries are all new-marked.
FakeBrowser::Page page(const QStringList& newIds) {
    QString html = u"<HTML><BODY><TABLE>"_qs + entry(u"900"_qs, false);
    for (const QString& id : newIds)
        html += entry(id, true);
    return {html + u"</TABLE><A href=\"/browse/request/help\"><IMG src=\"/img/new.gif\"></A></BODY></HTML>"_qs};
}

QString box(const QString& caption) {
    return newRequestMessage(caption);
}

class Indicators : public ScanIndicators {
public:
    explicit Indicators(QStringList& log) : m_log(log) {}
    void setScanning(bool scanning) override { m_log.append(scanning ? u"scanning"_qs : u"rest"_qs); }
    void showNotice(const QString& text) override { m_log.append(u"notice "_qs + text); }

private:
    QStringList& m_log;
};

// The scan run over a fake browser whose result pages are scripted by key.
struct Rig {
    // The load limit goes into the settings before the marketplace copies them.
    explicit Rig(int loadTimeoutSeconds = 5)
        : settings([loadTimeoutSeconds] {
              MarketplaceSite s;
              s.searchUrl = u"http://127.0.0.1:8080/"_qs;
              s.loadTimeoutSeconds = loadTimeoutSeconds;
              return s;
          }()) {
        browser.pageFor = [this](const FakeBrowser::Navigation& nav) {
            const QString body = QString::fromLatin1(nav.body);
            const QString key = body.section(u"&key="_qs, 1).section(u'&', 0, 0);
            return pages.value(key);
        };
        messages.onShow = [this](const QString& text) { browser.calls.append(u"box "_qs + text); };
    }
    void bind(int slot, const QString& key, const QString& caption) { buttons.slot(slot) = {key, u"x"_qs, caption}; }
    // What the run did, without the polls of the waits.
    QStringList steps() const {
        QStringList out;
        for (const QString& call : browser.calls) {
            if (call != u"busy"_qs && call != u"readyState"_qs && call != u"wait"_qs)
                out.append(call);
        }
        return out;
    }
    QStringList boxes() const { return messages.texts; }
    void clearRecords() {
        browser.calls.clear();
        browser.navigations.clear();
        messages.texts.clear();
    }

    TempProgramFolder folder;
    FakeBrowser browser;
    MarketplaceSite settings;
    FakeMessageSink messages;
    QMap<QString, FakeBrowser::Page> pages;
    ButtonInfo buttons;
    QString sort = u"registered"_qs;
    Indicators indicators{browser.calls};
    Marketplace market{browser, settings, messages};
    ScanRun run{market, buttons, indicators, messages, browser.clock, [this] { return sort; }};
};

} // namespace

class ScanRunTest : public QObject {
    Q_OBJECT
private slots:
    void announcesUnseenInTableOrderAndStoresTheRun();
    void theDesktopHearsEachUnseenRequestWithItsPageOnTheSite();
    void allSlotsEmpty();
    void comparisonIsExact();
    void pageNotLoadedKeepsPreviousIds_data();
    void pageNotLoadedKeepsPreviousIds();
    void failedWriteKeepsTheOldFileAndGoesOn_data();
    void failedWriteKeepsTheOldFileAndGoesOn();
    void seenFileHiccups();
    void aCategoryFailingThreeRunsInARowIsReportedOnceAndWhenMended();
    void afterAPageRanOutOfTimeTheRestOfTheRunGetsAShortLimit_data();
    void afterAPageRanOutOfTimeTheRestOfTheRunGetsAShortLimit();
};

void ScanRunTest::announcesUnseenInTableOrderAndStoresTheRun() {
    Rig rig;
    rig.bind(1, u"k1"_qs, u"ホームページ"_qs);
    rig.bind(3, u"k3"_qs, u"ロゴ"_qs);
    rig.bind(7, u"k7"_qs, u"翻訳"_qs);
    rig.pages[u"k1"_qs] = page({u"101"_qs, u"102"_qs});
    rig.pages[u"k3"_qs] = page({u"201"_qs});
    rig.pages[u"k7"_qs] = page({u"101"_qs}); // one request listed under two categories
    rig.folder.write(u"new_item.txt"_qs, cp932Lines({u"102"_qs}));
    rig.sort = u"bidding"_qs;

    rig.run.scanjobs();
    QCOMPARE(rig.steps(), (QStringList{u"visible 0"_qs, u"scanning"_qs, u"navigate"_qs, u"html"_qs, u"navigate"_qs,
                                       u"html"_qs, u"navigate"_qs, u"html"_qs, u"box 新規案件:ホームページ"_qs,
                                       u"box 新規案件:ロゴ"_qs, u"box 新規案件:翻訳"_qs, u"rest"_qs}));
    QVERIFY(rig.browser.navigations.at(0).body.contains("&key=k1&condition=present&sort_type=bidding&"));
    QVERIFY(rig.browser.navigations.at(2).body.contains("&key=k7&"));
    QCOMPARE(rig.folder.read(u"new_item.txt"_qs), cp932Lines({u"101"_qs, u"102"_qs, u"201"_qs, u"101"_qs}));
    QCOMPARE(rig.run.results().newitemtitle.at(3), u"翻訳"_qs);

    // The same pages again: nothing is new, the file stays.
    rig.clearRecords();
    rig.run.scanjobs();
    QCOMPARE(rig.boxes(), QStringList());
    QCOMPARE(rig.folder.read(u"new_item.txt"_qs), cp932Lines({u"101"_qs, u"102"_qs, u"201"_qs, u"101"_qs}));

    // A run that no longer collects 102 drops it; a later run announces it again.
    rig.pages[u"k1"_qs] = page({u"101"_qs});
    rig.run.scanjobs();
    QCOMPARE(rig.folder.read(u"new_item.txt"_qs), cp932Lines({u"101"_qs, u"201"_qs, u"101"_qs}));
    rig.pages[u"k1"_qs] = page({u"101"_qs, u"102"_qs});
    rig.run.scanjobs();
    QCOMPARE(rig.boxes(), QStringList{box(u"ホームページ"_qs)});
}

void ScanRunTest::theDesktopHearsEachUnseenRequestWithItsPageOnTheSite() {
    Rig rig;
    AnnouncementLog log(rig.folder.file(announcementsFileName()));
    RecordingSink sink(&rig.browser.calls);
    Announcer announcer(rig.messages, log, rig.browser.clock, true, &sink);
    rig.run.setAnnouncer(&announcer);
    // Away from the PC: handed over before the boxes wait, titles and all.
    rig.run.setRemoteNotices([&rig](const QList<Announcement>& unseen) {
        QStringList titles;
        for (const Announcement& a : unseen)
            titles.append(a.title);
        rig.browser.calls.append(u"remote "_qs + titles.join(u','));
    });
    rig.bind(2, u"k2"_qs, u"金型"_qs);
    // A link to another host, and one that leads to no page.
    const auto linked = [](const QString& link) -> QString {
        return u"<TR><TD><A href=\""_qs + link +
               u"\">x</A><IMG src=\"/img/new.gif\"></TD><TD><FONT>見積件数</FONT></TD></TR>"_qs;
    };
    rig.pages[u"k2"_qs] = {u"<HTML><BODY><TABLE>"_qs + entry(u"48211"_qs, true) +
                           linked(u"https://evil.example/browse/request/48212"_qs) +
                           linked(u"data:text/html,/browse/request/48213"_qs) + u"</TABLE></BODY></HTML>"_qs};
    rig.folder.write(u"new_item.txt"_qs, cp932Lines({u"900"_qs}));

    rig.run.scanjobs();
    const QString site = u"http://127.0.0.1:8080/browse/request/"_qs;
    const QString box = u"box 新規案件:金型"_qs;
    QCOMPARE(
        rig.steps(),
        (QStringList{u"visible 0"_qs, u"scanning"_qs, u"navigate"_qs, u"html"_qs, u"remote タイトル,x,x"_qs, u"list"_qs,
                     u"call user"_qs, u"notify 新規案件: 金型 / 48211\nタイトル / "_qs + site + u"48211"_qs,
                     u"notify 新規案件: 金型 / 48212\nx / "_qs + site + u"48212"_qs,
                     u"notify 新規案件: 金型 / 48213\nx / "_qs + site + u"48213"_qs, box, box, box, u"rest"_qs}));
    QCOMPARE(log.since(QDateTime()).size(), 3);

    // More than three: one notification for them all, with the titles, the boxes as ever.
    rig.pages[u"k2"_qs] = page({u"1"_qs, u"2"_qs, u"3"_qs, u"4"_qs});
    rig.clearRecords();
    rig.run.scanjobs();
    QCOMPARE(rig.steps().mid(5),
             (QStringList{u"list"_qs, u"call user"_qs,
                          u"notify list 新規案件 4 件 / 金型: 4 件\n・タイトル\n・タイトル\n・タイトル\n・タイトル"_qs,
                          box, box, box, box, u"rest"_qs}));
    QCOMPARE(log.since(QDateTime()).size(), 7);

    // The filter words thin out the notifications only: the boxes, the list,
    // the hand-over (which filters for itself) and the file keep every request.
    announcer.setFilter(TitleFilter(u"金型"_qs, u"試作"_qs));
    rig.pages[u"k2"_qs] = {u"<HTML><BODY><TABLE>"_qs + entry(u"5"_qs, true, u"プレス金型"_qs) +
                           entry(u"6"_qs, true, u"溶接"_qs) + entry(u"7"_qs, true, u"金型 試作"_qs) +
                           entry(u"8"_qs, true, u"&lt;b&gt;金型&lt;/b&gt;"_qs) + entry(u"9"_qs, true, u"塗装"_qs) +
                           u"</TABLE></BODY></HTML>"_qs};
    rig.clearRecords();
    rig.run.scanjobs();
    QCOMPARE(rig.steps().mid(4),
             (QStringList{u"remote プレス金型,溶接,金型 試作,<b>金型</b>,塗装"_qs, u"list"_qs, u"call user"_qs,
                          u"notify 新規案件: 金型 / 5\nプレス金型 / "_qs + site + u"5"_qs,
                          u"notify 新規案件: 金型 / 8\n<b>金型</b> / "_qs + site + u"8"_qs, box, box, box, box, box,
                          u"rest"_qs}));
    QCOMPARE(log.since(QDateTime()).first().title, u"塗装"_qs);
    QCOMPARE(rig.folder.read(u"new_item.txt"_qs), cp932Lines({u"5"_qs, u"6"_qs, u"7"_qs, u"8"_qs, u"9"_qs}));
}

void ScanRunTest::allSlotsEmpty() {
    Rig rig;
    rig.folder.write(u"new_item.txt"_qs, cp932Lines({u"1"_qs, u"2"_qs}));
    rig.run.scanjobs();
    QCOMPARE(rig.steps(), (QStringList{u"visible 0"_qs, u"scanning"_qs, u"rest"_qs}));
    QVERIFY(rig.folder.exists(u"new_item.txt"_qs));
    QCOMPARE(rig.folder.read(u"new_item.txt"_qs), QByteArray());
}

void ScanRunTest::comparisonIsExact() {
    Rig rig;
    rig.bind(2, u"k2"_qs, QString()); // an empty caption
    rig.pages[u"k2"_qs] = page({u"101"_qs, u"abc"_qs, u"7"_qs, u"7"_qs, u"55"_qs});
    // A trailing blank and another letter case do not match; a line held twice matches once.
    rig.folder.write(u"new_item.txt"_qs, "101 \r\nABC\r\n55\r\n55\r\n");
    rig.run.scanjobs();
    QCOMPARE(rig.boxes(), QStringList(4, box(QString())));
    QCOMPARE(rig.boxes().first(), u"新規案件:"_qs);
    QCOMPARE(rig.folder.read(u"new_item.txt"_qs), cp932Lines({u"101"_qs, u"abc"_qs, u"7"_qs, u"7"_qs, u"55"_qs}));

    // Missing file: everything collected is new. More than 1000 entries: the
    // run stops collecting at 1000, says so once, and the file holds those.
    QFile::remove(rig.folder.file(u"new_item.txt"_qs));
    QStringList many;
    for (int i = 0; i < 1500; ++i)
        many.append(QString::number(i));
    rig.pages[u"k2"_qs] = page(many);
    rig.clearRecords();
    rig.run.scanjobs();
    QCOMPARE(rig.boxes().size(), 1001);
    QCOMPARE(rig.boxes().last(), collectionStoppedMessage(QString()));
    QCOMPARE(rig.folder.read(u"new_item.txt"_qs), cp932Lines(many.mid(0, 1000)));
}

void ScanRunTest::pageNotLoadedKeepsPreviousIds_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("load failed") << u"failed"_qs;
    QTest::newRow("load timed out") << u"stalls"_qs;
    QTest::newRow("key not sendable") << u"key"_qs;
    QTest::newRow("browser does not answer") << u"commands"_qs;
}

void ScanRunTest::pageNotLoadedKeepsPreviousIds() {
    QFETCH(QString, how);
    Rig rig;
    // The page of a failed load is not read: it may be an error page or the previous slot's.
    FakeBrowser::Page bad = page({u"999"_qs});
    bad.failed = how == u"failed"_qs;
    bad.stalls = how == u"stalls"_qs;
    bad.commandsFail = how == u"commands"_qs;
    rig.bind(1, how == u"key"_qs ? u"😀"_qs : u"bad"_qs, u"A"_qs);
    rig.bind(2, u"good"_qs, u"B"_qs);
    rig.pages[u"bad"_qs] = bad;
    rig.pages[u"good"_qs] = page({u"4"_qs, u"2"_qs});
    rig.folder.write(u"new_item.txt"_qs, cp932Lines({u"1"_qs, u"2"_qs, u"3"_qs, u"2"_qs}));

    rig.run.scanjobs();
    QStringList expected{box(u"B"_qs)};
    if (how == u"key"_qs) {
        QCOMPARE(rig.browser.navigations.size(), 1); // nothing was sent for the key
        expected.prepend(rig.boxes().first());
        QVERIFY(rig.boxes().first().contains(u"カテゴリのキー"_qs));
    }
    QCOMPARE(rig.boxes(), expected);
    // This run's IDs, then the previous lines it did not collect, in their order.
    QCOMPARE(rig.folder.read(u"new_item.txt"_qs), cp932Lines({u"4"_qs, u"2"_qs, u"1"_qs, u"3"_qs}));

    // Once every page loads again, the file holds that run's IDs only.
    rig.bind(1, QString(), QString());
    rig.clearRecords();
    rig.run.scanjobs();
    QCOMPARE(rig.boxes(), QStringList());
    QCOMPARE(rig.folder.read(u"new_item.txt"_qs), cp932Lines({u"4"_qs, u"2"_qs}));
}

void ScanRunTest::failedWriteKeepsTheOldFileAndGoesOn_data() {
    QTest::addColumn<bool>("boxesOff");
    QTest::newRow("boxes") << false;
    // Nobody at the desk: the failure is a notice, never a box, and it stays
    // under the cycle box until a run has nothing to say.
    QTest::newRow("boxes off") << true;
}

void ScanRunTest::failedWriteKeepsTheOldFileAndGoesOn() {
    QFETCH(bool, boxesOff);
    Rig rig;
    FakeMessageSink notices;
    if (boxesOff)
        rig.run.setNotices(&notices);
    rig.bind(1, u"k"_qs, u"A"_qs);
    rig.pages[u"k"_qs] = page({u"20000"_qs});
    rig.folder.write(u"new_item.txt"_qs, cp932Lines({u"1"_qs}));
    {
        DiskFull full;
        rig.run.scanjobs();
    }
    const QStringList said = boxesOff ? notices.texts : rig.boxes().mid(1);
    QCOMPARE(rig.boxes().first(), box(u"A"_qs)); // no announcer here: the box is the announcement
    QCOMPARE(said.size(), 1);
    QVERIFY(said.first().contains(u"new_item.txt"_qs));
    QCOMPARE(rig.boxes().size(), boxesOff ? 1 : 2);
    QCOMPARE(rig.steps().mid(rig.steps().size() - 2),
             (QStringList{(boxesOff ? u"notice "_qs : u"box "_qs) + said.first(), u"rest"_qs}));
    QCOMPARE(rig.folder.read(u"new_item.txt"_qs), cp932Lines({u"1"_qs}));

    // The next run compares with what the failed one collected, not with the
    // old file: nothing is announced twice, and the file is written now.
    rig.clearRecords();
    rig.run.scanjobs();
    QCOMPARE(rig.boxes(), QStringList());
    QCOMPARE(rig.folder.read(u"new_item.txt"_qs), cp932Lines({u"20000"_qs}));
    QCOMPARE(rig.steps().mid(rig.steps().size() - 2), (QStringList{boxesOff ? u"notice "_qs : u"html"_qs, u"rest"_qs}));
}

void ScanRunTest::seenFileHiccups() {
    Rig rig;
    rig.bind(1, u"k"_qs, u"A"_qs);
    rig.bind(2, u"bad"_qs, u"B"_qs);
    rig.pages[u"k"_qs] = page({u"1"_qs, u"2"_qs});
    FakeBrowser::Page bad = page({});
    bad.failed = true;
    rig.pages[u"bad"_qs] = bad;

    // A file that is there but cannot be read: nothing is announced (compared
    // with nothing, everything would be), the file stays, and that is said once.
    const QByteArray damaged = "1\r\n\x80\r\n";
    rig.folder.write(u"new_item.txt"_qs, damaged);
    // What waits to be sent away from the PC is tried again all the same.
    QList<qsizetype> handedOver;
    rig.run.setRemoteNotices([&](const QList<Announcement>& unseen) { handedOver.append(unseen.size()); });
    rig.run.scanjobs();
    QCOMPARE(handedOver, QList<qsizetype>{0});
    QCOMPARE(rig.boxes().size(), 1);
    QVERIFY(rig.boxes().first().contains(u"new_item.txt"_qs));
    QCOMPARE(rig.folder.read(u"new_item.txt"_qs), damaged);
    rig.clearRecords();
    rig.run.scanjobs();
    QCOMPARE(rig.boxes(), QStringList());
    QCOMPARE(rig.folder.read(u"new_item.txt"_qs), damaged);

    // Readable again: announced as usual, from its first 1000 lines (what lies
    // beyond is not even read). While a page keeps failing, the previous IDs
    // carried forward stop at a bound instead of growing for ever.
    QStringList old;
    for (int i = 0; i < 3000; ++i)
        old.append(u"old%1"_qs.arg(i));
    rig.folder.write(u"new_item.txt"_qs, cp932Lines(old) + damaged);
    rig.run.scanjobs();
    QCOMPARE(rig.boxes().count(box(u"A"_qs)), 2);
    const QStringList kept = QString::fromLatin1(rig.folder.read(u"new_item.txt"_qs)).split(u"\r\n"_qs);
    QCOMPARE(kept.size() - 1, 1000);
    QCOMPARE(kept.mid(0, 3), (QStringList{u"1"_qs, u"2"_qs, u"old0"_qs}));

    // A browser that does not answer the hide in time: the run goes on.
    rig.browser.windowFails = true;
    rig.pages[u"k"_qs] = page({u"3"_qs});
    rig.clearRecords();
    rig.run.scanjobs();
    QCOMPARE(rig.boxes().count(box(u"A"_qs)), 1);
    QCOMPARE(rig.steps().last(), u"rest"_qs);
}

void ScanRunTest::aCategoryFailingThreeRunsInARowIsReportedOnceAndWhenMended() {
    Rig rig;
    rig.bind(1, u"good"_qs, u"ロゴ"_qs);
    rig.bind(3, u"bad"_qs, u"翻訳"_qs);
    rig.pages[u"good"_qs] = page({u"1"_qs});
    FakeBrowser::Page bad = page({u"2"_qs});
    bad.failed = true;
    rig.pages[u"bad"_qs] = bad;
    QVERIFY(!rig.run.summary().finished.isValid());

    const QString broken = monitoringBrokenMessage(u"翻訳"_qs, PageFailure::LoadFailed);
    QVERIFY(broken.contains(u"翻訳"_qs));
    QStringList perRun;
    for (int run = 1; run <= 5; ++run) {
        if (run == 5)
            rig.pages[u"bad"_qs].failed = false; // the site works again
        rig.clearRecords();
        rig.run.scanjobs();
        perRun.append(rig.boxes().filter(u"リアルタイム検査"_qs).join(u'|'));
        // The summary counts the run's pages; the announcements stay as they were.
        QCOMPARE(rig.run.summary().read, 2);
        QCOMPARE(rig.run.summary().failed, run == 5 ? 0 : 1);
        QCOMPARE(rig.boxes().count(box(u"ロゴ"_qs)), run == 1 ? 1 : 0);
    }
    QCOMPARE(perRun, (QStringList{QString(), QString(), broken, QString(), monitoringMendedMessage(u"翻訳"_qs)}));
    QCOMPARE(rig.run.summary().finished, rig.browser.clock.now());
    QVERIFY(scanLabelToolTip(rig.run.summary()).contains(u"2 カテゴリ"_qs));

    // A failure now and then is no broken monitor.
    for (int run = 1; run <= 4; ++run) {
        rig.pages[u"bad"_qs].failed = run % 3 != 0;
        rig.clearRecords();
        rig.run.scanjobs();
        QCOMPARE(rig.boxes().filter(u"リアルタイム検査"_qs), QStringList());
    }
}

void ScanRunTest::afterAPageRanOutOfTimeTheRestOfTheRunGetsAShortLimit_data() {
    QTest::addColumn<bool>("hung"); // the page's renderer stops answering instead of the page loading for ever
    QTest::newRow("page runs out of time") << false;
    QTest::newRow("page stops answering") << true;
}

void ScanRunTest::afterAPageRanOutOfTimeTheRestOfTheRunGetsAShortLimit() {
    QFETCH(bool, hung);
    Rig rig(60);
    FakeBrowser::Page stalling = page({u"1"_qs});
    stalling.stalls = !hung;
    stalling.commandsFail = hung;
    for (int slot = 1; slot <= 3; ++slot) {
        rig.bind(slot, u"k%1"_qs.arg(slot), u"C%1"_qs.arg(slot));
        rig.pages[u"k%1"_qs.arg(slot)] = stalling;
    }
    const QDateTime start = rig.browser.clock.now();
    rig.run.scanjobs();
    QCOMPARE(rig.browser.limits, (QList<qint64>{60000, 5000, 5000}));
    // The browser's answers too (a fresh page's setup), until the run ends.
    QCOMPARE(rig.browser.answerLimits, (QList<qint64>{5000, 0}));
    QCOMPARE(rig.steps().count(u"stop"_qs), 3); // each page ended, so that none holds up the next
    if (!hung)
        QCOMPARE(start.secsTo(rig.browser.clock.now()), 70); // one full limit per run, not one per category

    // The next run starts with the full limit again.
    rig.browser.limits.clear();
    rig.run.scanjobs();
    QCOMPARE(rig.browser.limits.first(), 60000);
}

QTEST_MAIN(ScanRunTest)
#include "scanrun_test.moc"
