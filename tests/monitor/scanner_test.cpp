#include "monitor/scanner.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

using namespace velkoria;

namespace {

const QString L = u"/browse/request/"_qs;
const QString E = u"見積件数</FONT>"_qs;
const QString I = u"/img/new.gif"_qs;

QStringList scan(const QString& html) {
    ScanResults results;
    findnewjobs(html, L, results);
    return results.newitem;
}

// The scan written plainly, searching from every link again: the reference
// the linear scan must agree with. The ID ends at the first quote, angle
// bracket or white space after the marker and counts only if that is a quote
// standing before the next link.
QStringList referenceScan(const QString& html, const QString& needle) {
    QStringList ids;
    const qsizetype n = needle.size();
    static const QRegularExpression idEnd(u"[\"<>\\s]"_qs);
    for (qsizetype pos = html.indexOf(needle); pos >= 0; pos = html.indexOf(needle, pos + n)) {
        const qsizetype idStart = pos + n;
        const qsizetype stop = html.indexOf(idEnd, pos);
        const qsizetype next = html.indexOf(needle, pos + n);
        const qsizetype mark = html.indexOf(E, pos);
        if (mark >= 0 && html.mid(pos, mark - pos).contains(I) && stop >= idStart && html.at(stop) == u'"' &&
            (next < 0 || stop < next))
            ids.append(html.mid(idStart, stop - idStart));
    }
    return ids;
}

} // namespace

class ScannerTest : public QObject {
    Q_OBJECT
private slots:
    void pages_data();
    void pages();
    void linkTexts_data();
    void linkTexts();
    void pagesAccumulateWithTheirCaptions();
    void idsOfUnquotedLinksStayWithinThePage();
    void agreesWithTheReferenceOnRandomPages();
};

void ScannerTest::pages_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QStringList>("ids");
    const auto row = [](const char* name, const QString& html, const QStringList& ids) {
        QTest::newRow(name) << html << ids;
    };
    row("empty page", QString(), {});
    row("no link", u"<A href=\"/browse/list/1\">"_qs + I + E, {});
    row("site entry",
        u"<TR><TD><A href=\"/browse/request/10234\">タイトル</A> <IMG src=\"/img/new.gif\"></TD>"
        u"<TD><FONT size=\"2\">見積件数</FONT> 3件</TD></TR>"_qs,
        {u"10234"_qs});
    row("entry without icon", L + u"1\">t</A>"_qs + E, {});
    row("icon after the end marker", L + u"1\">"_qs + E + I, {});
    row("icon between end marker and next link", L + u"1\">"_qs + E + I + L + u"2\">"_qs + E, {});
    row("icon after the next link", L + u"1\">"_qs + E + L + u"2\">"_qs + I + E, {u"2"_qs});
    row("icon inside the link", L + u"7"_qs + I + u"\">"_qs + E, {u"7/img/new.gif"_qs});
    row("two links, icon after both", L + u"1\">a"_qs + L + u"2\">b"_qs + I + E, {u"1"_qs, u"2"_qs});
    row("two links, icon between", L + u"1\">a"_qs + I + L + u"2\">b"_qs + E, {u"1"_qs});
    row("ID with a blank before its quote", L + u"1 a"_qs + L + u"2\""_qs + I + E, {u"2"_qs});
    row("ID whose quote is missing ends at its tag",
        L + u"x>a</A> "_qs + L + u"y\nb "_qs + L + u"z\tc "_qs + L + u"4\""_qs + I + E, {u"4"_qs});
    row("ID without its quote runs not into the next link", L + u"1"_qs + L + u"2\""_qs + I + E, {u"2"_qs});
    row("same ID twice", L + u"5\""_qs + I + E + L + u"5\""_qs + I + E, {u"5"_qs, u"5"_qs});
    row("empty ID", L + u"\""_qs + I + E, {QString()});
    row("ID with trailing slash", L + u"123/\""_qs + I + E, {u"123/"_qs});
    row("end marker inside the ID", L + u"1"_qs + E + u"\""_qs + I + E, {});
    row("upper-case icon", L + u"1\"/IMG/NEW.GIF"_qs + E, {});
    row("lower-case end tag", L + u"1\""_qs + I + u"見積件数</font>"_qs, {});
    row("upper-case link", u"/BROWSE/REQUEST/1\""_qs + I + E, {});
    row("marker sharing a slash", u"/browse/request/browse/request/9\""_qs + I + E, {u"browse/request/9"_qs});
    row("link at the very end", L + u"1\""_qs + I + E + L, {u"1"_qs});
    row("links after the last end marker", L + u"1\""_qs + I + E + L + u"2\""_qs + I + L + u"3\""_qs, {u"1"_qs});
    row("no quote after the link", u"\""_qs + L + u"1"_qs + I + E, {});
    row("half-width kana and emoji in the ID", L + u"ｱ😀\""_qs + I + E, {u"ｱ😀"_qs});
}

void ScannerTest::pages() {
    QFETCH(QString, html);
    QFETCH(QStringList, ids);
    QCOMPARE(scan(html), ids);
    QCOMPARE(referenceScan(html, L), ids);
}

void ScannerTest::linkTexts_data() {
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("text");
    const auto row = [](const char* name, const QString& link, const QString& text) {
        QTest::newRow(name) << link << text;
    };
    const QString a = u"<a href=\"/browse/request/1\">"_qs;
    row("site entry", u"<A href=\"/browse/request/1\" target=\"_blank\">金型の設計</A>"_qs, u"金型の設計"_qs);
    row("tags inside the link", a + u"<span class=\"t\">金型</span> <b>設計</b><!-- <i>x</i> --></a>"_qs,
        u"金型 設計"_qs);
    row("white space folded", a + u"\n\t 金型\r\n\n設計&nbsp;&nbsp;  </a>"_qs, u"金型 設計"_qs);
    row("ideographic space kept", a + u"金型　設計</a>"_qs, u"金型　設計"_qs);
    row("entities", a + u"A&amp;B &lt;b&gt; &quot;C&quot; &#12354;&#x3042;&#X1F600; &apos;</a>"_qs,
        u"A&B <b> \"C\" ああ😀 '"_qs);
    row("not entities", a + u"&copy; &amp &#; &#xZ; &#123456789012; &#0; &#xD800; &#x110000;</a>"_qs,
        u"&copy; &amp &#; &#xZ; &#123456789012; \uFFFD \uFFFD \uFFFD"_qs);
    row("control characters", a + u"a&#1;b&#10;c\u0085d\u2028e&#x7f;</a>"_qs, u"a b c d e"_qs);
    row("link without text", a + u"</a>"_qs, QString());
    row("link with only the icon", a + u"<img src=\"/img/new.gif\"></a>"_qs, QString());
    row("marker outside a tag", u"<p>/browse/request/1\"</p>"_qs, QString());
    row("marker in another tag", u"<form action=\"/browse/request/1\">件名</form>"_qs, QString());
    row("'>' inside an attribute", u"<a title=\"a>b\" href=\"/browse/request/1\">件名</a>"_qs, u"件名"_qs);
    row("10,000 characters", a + QString(10000, u'案') + u"</a>"_qs, QString(200, u'案'));
    row("cut before a surrogate pair", a + u"x"_qs + QString(u"😀"_qs).repeated(150) + u"</a>"_qs,
        u"x"_qs + QString(u"😀"_qs).repeated(99));
    row("no end tag", a + QString(20000, u' ') + u"件名"_qs, QString());
}

void ScannerTest::linkTexts() {
    QFETCH(QString, link);
    QFETCH(QString, text);
    ScanResults results;
    findnewjobs(QString(link + I + E), L, results);
    QCOMPARE(results.newitemtext, QStringList{text});
}

void ScannerTest::pagesAccumulateWithTheirCaptions() {
    ScanResults results;
    results.curtitle = u"ホームページ"_qs;
    findnewjobs(QString(L + u"1\""_qs + I + E + L + u"2\""_qs + I + E + L + u"3\""_qs + I + E), L, results);
    results.curtitle = u"ロゴ"_qs;
    findnewjobs(QString(L + u"4\""_qs + I + E + L + u"5\""_qs + E), L, results);
    QCOMPARE(results.newcount(), 4);
    QCOMPARE(results.newitem, (QStringList{u"1"_qs, u"2"_qs, u"3"_qs, u"4"_qs}));
    QCOMPARE(results.newitemtitle,
             (QStringList{u"ホームページ"_qs, u"ホームページ"_qs, u"ホームページ"_qs, u"ロゴ"_qs}));
    results.clear();
    QCOMPARE(results.newcount(), 0);
    QCOMPARE(results.newitemtitle.size(), 0);
}

void ScannerTest::idsOfUnquotedLinksStayWithinThePage() {
    // Thousands of links whose IDs lost their closing quote, one quote at the
    // very end: the IDs together must not hold more text than the page, or the
    // memory grows with the square of the page.
    QString html;
    for (int i = 0; i < 1000; ++i)
        html += u"<A href=/browse/request/"_qs + QString::number(i) + u">件名</A>"_qs + I + E;
    html += u"\""_qs;
    ScanResults results;
    findnewjobs(html, L, results);
    qsizetype total = 0;
    for (const QString& id : results.newitem)
        total += id.size();
    QVERIFY2(total <= html.size(), qPrintable(QString::number(total)));
    QCOMPARE(results.newcount(), 0);
}

void ScannerTest::agreesWithTheReferenceOnRandomPages() {
    // Pages made of the markers, their near misses and text, so that links,
    // quotes, icons and end markers meet in every order.
    const QStringList pieces{L,
                             L,
                             L,
                             E,
                             E,
                             I,
                             I,
                             u"\""_qs,
                             u"\""_qs,
                             u"7"_qs,
                             u"</A>"_qs,
                             u"/browse"_qs,
                             u"/request/"_qs,
                             u"見積件数"_qs,
                             u"</FONT>"_qs,
                             u"/img/"_qs,
                             u"new.gif"_qs,
                             u"x"_qs,
                             u" "_qs,
                             u">"_qs};
    QRandomGenerator random(932);
    for (int page = 0; page < 3000; ++page) {
        QString html;
        const int length = random.bounded(1, 40);
        for (int i = 0; i < length; ++i)
            html += pieces.at(random.bounded(int(pieces.size())));
        if (scan(html) != referenceScan(html, L))
            QFAIL(qPrintable(u"differs on: "_qs + html));
    }
    // A needle holding a quote: an ID would have a negative length, so no entry.
    ScanResults results;
    const QString quoted = u"/req\"/"_qs;
    findnewjobs(QString(quoted + u"1\""_qs + I + E), quoted, results);
    QCOMPARE(results.newcount(), 0);
}

QTEST_APPLESS_MAIN(ScannerTest)
#include "scanner_test.moc"
