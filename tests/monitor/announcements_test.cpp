// The list of announcements and its file announcements.txt.
#include "monitor/announcements.h"
#include "platform/textfile.h"
#include "tests/support/fakes.h"
#include "tests/support/tempfolder.h"

#include <QtTest>

using namespace velkoria;
using namespace velkoria::test;

namespace {
const QString kFile = u"announcements.txt"_qs;
const QDateTime kMorning(QDate(2026, 1, 5), QTime(9, 0));

Announcement at(int minutes, const QString& id, const QString& caption = u"印刷"_qs) {
    return {kMorning.addSecs(60 * minutes), caption, id, u"http://h/browse/request/"_qs + id};
}
QString line(int minutes, const QString& id) {
    return announcementLine(at(minutes, id));
}
QStringList ids(const QList<Announcement>& list) {
    QStringList out;
    for (const Announcement& a : list)
        out.append(a.id);
    return out;
}
} // namespace

class AnnouncementsTest : public QObject {
    Q_OBJECT
private slots:
    void fileRules_data();
    void fileRules();
    void linesWithAndWithoutTitle_data();
    void linesWithAndWithoutTitle();
    void dayListStartsAtMidnightOrAtTheStart();
};

void AnnouncementsTest::fileRules_data() {
    QTest::addColumn<QByteArray>("before");  // the file at start-up (empty: none)
    QTest::addColumn<QStringList>("listed"); // the day's IDs after one more ("new"), newest first
    QTest::addColumn<QByteArray>("after");   // the file after it
    const QString added = line(60, u"new"_qs);
    const auto row = [](const char* name, const QByteArray& before, const QStringList& listed,
                        const QByteArray& after) { QTest::newRow(name) << before << listed << after; };
    row("first one", {}, {u"new"_qs}, cp932Lines({added}));
    row("kept over a restart, newest first", cp932Lines({line(1, u"a"_qs), line(2, u"b"_qs)}),
        {u"new"_qs, u"b"_qs, u"a"_qs}, cp932Lines({line(1, u"a"_qs), line(2, u"b"_qs), added}));
    // Yesterday's stay in the file, out of the day's list.
    row("yesterday's", cp932Lines({line(-24 * 60, u"y"_qs)}), {u"new"_qs},
        cp932Lines({line(-24 * 60, u"y"_qs), added}));
    // Hand-edited or damaged lines are skipped in the list and kept in the file.
    const QString tabbed = announcementLine(at(3, u"t"_qs, u"a\tb"_qs));
    const QStringList odd{u"メモ"_qs, u"2026-01-05 09:00:00\t1\t\t印刷"_qs, u"2026-13-05 09:00:00\t2\thttp://h/\tx"_qs,
                          u"2026-01-05 09:00:00\t3\thttp://h/"_qs, tabbed};
    row("lines that are no announcement", cp932Lines(odd), {u"new"_qs, u"t"_qs}, cp932Lines(odd + QStringList{added}));
    // A file that cannot be read is never written: nothing in it is lost.
    row("not Shift_JIS", "\xff\xfe\r\n", {u"new"_qs}, "\xff\xfe\r\n");
    QStringList full;
    for (int i = 0; i < AnnouncementLog::kLines; ++i)
        full.append(line(1, QString::number(i)));
    row("the last 1000 lines", cp932Lines(full), {}, cp932Lines(full.mid(1) + QStringList{added}));
}

void AnnouncementsTest::fileRules() {
    QFETCH(QByteArray, before);
    QFETCH(QStringList, listed);
    QFETCH(QByteArray, after);
    TempProgramFolder folder;
    if (!before.isEmpty())
        folder.write(kFile, before);
    AnnouncementLog log(folder.file(kFile));
    const RuntimeError error = errorOf([&] { log.load(); });
    QCOMPARE(error.number() != 0, before.startsWith('\xff'));
    if (error.number() != 0)
        QVERIFY2(error.description().contains(kFile) && error.description().contains(u"1 行目"_qs),
                 qPrintable(error.description()));
    log.add({at(60, u"new"_qs)});
    if (!listed.isEmpty())
        QCOMPARE(ids(log.since(kMorning)), listed);
    QCOMPARE(folder.read(kFile), after);
    // A character that code page 932 cannot hold (in an ID from a page) is
    // written as "?", and later writes still work.
    if (error.number() == 0) {
        log.add({at(61, u"7\U0001F600"_qs)});
        log.add({at(62, u"8"_qs)});
        QVERIFY(readTextLines(folder.file(kFile)).endsWith(line(62, u"8"_qs)));
        QVERIFY(readTextLines(folder.file(kFile)).contains(line(61, u"7?"_qs)));
    }
}

void AnnouncementsTest::linesWithAndWithoutTitle_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("title");
    const QString head = u"2026-01-05 09:00:00\t7\thttp://h/browse/request/7\t"_qs;
    QTest::newRow("written before the titles") << head + u"印刷"_qs << u"印刷"_qs << QString();
    QTest::newRow("with its title") << head + u"印刷\tチラシ 1000 部"_qs << u"印刷"_qs << u"チラシ 1000 部"_qs;
    QTest::newRow("without a title") << head + u"印刷\t"_qs << u"印刷"_qs << QString();
    QTest::newRow("a caption with a tab") << head + u"a\tb\tタイトル"_qs << u"a\tb"_qs << u"タイトル"_qs;
    // As written: a title's tab or line end would split the line.
    Announcement a = at(0, u"7"_qs, u"a\tb"_qs);
    a.title = u"x\ty\r\nz"_qs;
    QTest::newRow("as written") << announcementLine(a) << u"a\tb"_qs << u"x y  z"_qs;
}

void AnnouncementsTest::linesWithAndWithoutTitle() {
    QFETCH(QString, line);
    QFETCH(QString, caption);
    QFETCH(QString, title);
    const std::optional<Announcement> a = parseAnnouncementLine(line);
    QVERIFY(a);
    QCOMPARE(a->id, u"7"_qs);
    QCOMPARE(a->caption, caption);
    QCOMPARE(a->title, title);
}

void AnnouncementsTest::dayListStartsAtMidnightOrAtTheStart() {
    const QDateTime midnight(QDate(2026, 1, 5), QTime(0, 0));
    QCOMPARE(dayListStart(kMorning.addSecs(-3600), kMorning), midnight);
    QCOMPARE(dayListStart(midnight.addSecs(-7200), kMorning), midnight.addSecs(-7200));
}

QTEST_GUILESS_MAIN(AnnouncementsTest)
#include "announcements_test.moc"
