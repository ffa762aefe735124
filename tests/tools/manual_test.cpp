// Checks the user manual as built into the program folder, read back with
// poppler-utils the way a reader's PDF viewer sees it, and the manual tool itself.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString builtPdf = QStringLiteral(VELKORIA_MANUAL_PDF);
const QString manualTool = QStringLiteral(VELKORIA_MANUAL_TOOL);
const QString manualSource = QStringLiteral(VELKORIA_MANUAL_SOURCE);

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString& program, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(5000);
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

// Text with every kind of white space removed: line breaks fall where the layout put them.
QString squeezed(const QString& text) {
    QString out;
    for (const QChar c : text)
        if (!c.isSpace())
            out += c;
    return out;
}

QString pageText(const QString& pdf, int page, bool layout = false) {
    QStringList arguments{QStringLiteral("-enc"), QStringLiteral("UTF-8"), QStringLiteral("-f"),
                          QString::number(page),  QStringLiteral("-l"),    QString::number(page)};
    if (layout)
        arguments << QStringLiteral("-layout");
    return run(QStringLiteral("pdftotext"), arguments << pdf << QStringLiteral("-")).out;
}

QString allText(const QString& pdf) {
    return run(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")})
        .out;
}

int pageCount(const QString& pdf) {
    static const QRegularExpression pages(QStringLiteral(R"(^Pages:\s+(\d+)$)"), QRegularExpression::MultilineOption);
    return pages.match(run(QStringLiteral("pdfinfo"), {pdf}).out).captured(1).toInt();
}

int imageCount(const QString& pdf) {
    // Two header lines, then one line per image: "page num type ...", where the
    // type of a picture is "image" (an alpha channel comes as an extra "smask").
    const QStringList lines =
        run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).out.split(u'\n', Qt::SkipEmptyParts);
    int images = 0;
    for (const QString& line : lines.mid(2)) {
        const QStringList columns = line.split(u' ', Qt::SkipEmptyParts);
        if (columns.size() > 2 && columns.at(2) == u"image")
            ++images;
    }
    return images;
}

void writeFile(const QString& path, const QString& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
}

// Where a word stands in the PDF: its page (from 1) and its top and bottom in points.
struct Word {
    int page = 0;
    double top = 0;
    double bottom = 0;
};
using Words = QHash<QString, QList<Word>>;

// The bottom of the text area on an A4 page: 12 mm of margin and 10 mm of footer.
constexpr double kBodyBottom = 841.89 - 22 / 25.4 * 72;

constexpr int kRulesSections = 60;

// A book built to meet every page-layout rule many times over: sections whose
// text runs to different lengths, each with a heading (every other with a
// section under it), a paragraph, a quoted message and a table right after it,
// every third with a figure between two paragraphs; then a table longer than a
// page. Returns every place where each marker word ("hd7", "row7", ...) stands.
const Words& rulesBookWords() {
    static const Words words = [] {
        Words found;
        QTemporaryDir dir;
        if (!dir.isValid() || !QDir(dir.path()).mkdir(u"images"_qs))
            return found;
        QImage picture(400, 500, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        picture.save(dir.filePath(u"images/fig.png"_qs));
        const QString sentence = u"これは本文の例です。ページの送り方を確かめます。"_qs;
        QString md = u"# 表題\n\n前書き\n\n"_qs;
        for (int i = 0; i < kRulesSections; ++i) {
            const int n = i * 7 % 23 + 1;
            md += u"## hd%1\n\n"_qs.arg(i);
            if (i % 2 == 0)
                md += u"### sub%1\n\n"_qs.arg(i);
            md += sentence.repeated(n) + u" endp%1\n\n```\ncodea%1\ncodeb%1\ncodec%1\n```\n\n"_qs.arg(i);
            md +=
                u"| key%1 | meaning%1 |\n|---|---|\n| row%1 | %2 |\n| rowa%1 | %2 |\n| rowb%1 | c |\n\n"_qs.arg(i).arg(
                    sentence.repeated(3));
            if (i % 3 == 2)
                md += u"pre%1 %2 prend%1\n\n![fig%1](images/fig.png)\n\npost%1 %3\n\n"_qs.arg(i).arg(
                    sentence.repeated(n % 4 + 1), sentence);
        }
        md += u"## long\n\n| longhead | x |\n|---|---|\n"_qs;
        for (int k = 0; k < 90; ++k)
            md += u"| longrow%1 | %2 |\n"_qs.arg(k).arg(sentence);
        writeFile(dir.filePath(u"manual.md"_qs), md);
        const QString pdf = dir.filePath(u"rules.pdf"_qs);
        if (run(manualTool, {dir.filePath(u"manual.md"_qs), pdf}).exitCode != 0)
            return found;
        static const QRegularExpression tag(
            uR"re(<page |<word xMin="[^"]*" yMin="([^"]*)" xMax="[^"]*" yMax="([^"]*)">([^<]*)</word>)re"_qs);
        int page = 0;
        const QString html = run(u"pdftotext"_qs, {u"-bbox"_qs, pdf, u"-"_qs}).out;
        for (auto it = tag.globalMatch(html); it.hasNext();) {
            const auto match = it.next();
            if (match.captured(0).startsWith(u"<page"))
                ++page;
            else
                found[match.captured(3)].append({page, match.captured(1).toDouble(), match.captured(2).toDouble()});
        }
        return found;
    }();
    return words;
}

// The last place a marker word stands (the contents list headings first).
Word at(const Words& words, const QString& word) {
    return words.value(word).isEmpty() ? Word{} : words.value(word).constLast();
}

} // namespace

class ManualTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void builtManualIsAnA4PdfOfExpectedLength();
    void builtManualCoversTheProgram_data();
    void builtManualCoversTheProgram();
    void textReadsBackAsIdeographsNotRadicals();
    void japaneseFontIsEmbedded();
    void everyPageCarriesItsNumber();
    void contentsPointToTheRightPages();
    void screenshotsAreIncludedWhenPresent();
    void toolLeavesOutMissingImagesAndCaptionsPresentOnes();
    void toolFailsWithoutSourceAndLeavesNoOutput();
    void pagesBreakByTheRules_data();
    void pagesBreakByTheRules();
};

void ManualTest::initTestCase() {
    for (const char* tool : {"pdfinfo", "pdftotext", "pdffonts", "pdfimages"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QFAIL(qPrintable(QStringLiteral("%1 is missing: install poppler-utils").arg(QString::fromLatin1(tool))));
    }
    QVERIFY2(QFile::exists(builtPdf), qPrintable(builtPdf + u" was not built"));
}

void ManualTest::builtManualIsAnA4PdfOfExpectedLength() {
    const Run info = run(QStringLiteral("pdfinfo"), {builtPdf});
    QCOMPARE(info.exitCode, 0);
    QVERIFY2(info.out.contains(QStringLiteral("(A4)")), qPrintable(info.out));
    QVERIFY2(info.out.contains(QStringLiteral("Title:           Velkoria 利用者マニュアル")), qPrintable(info.out));
    const int pages = pageCount(builtPdf);
    QVERIFY2(pages >= 10 && pages <= 30, qPrintable(QString::number(pages)));
}

void ManualTest::builtManualCoversTheProgram_data() {
    QTest::addColumn<QString>("text");
    const QStringList expected{
        // Chapters.
        QStringLiteral("Velkoria でできること"),
        QStringLiteral("はじめて使うとき"),
        QStringLiteral("メインウィンドウ"),
        QStringLiteral("ブラウザで案件を見る"),
        QStringLiteral("リアルタイム検査"),
        QStringLiteral("クイックボタンの編集"),
        QStringLiteral("データファイル（管理者向け）"),
        QStringLiteral("メッセージと対処"),
        // Files an administrator prepares or meets.
        QStringLiteral("zandorp_id.txt"),
        QStringLiteral("button_info.txt"),
        QStringLiteral("category.txt"),
        QStringLiteral("new_item.txt"),
        QStringLiteral("velkoria.ini"),
        QStringLiteral("browser-profile"),
        QStringLiteral("load_timeout_seconds"),
        // Where the browser comes from.
        QStringLiteral("Google Chrome、Microsoft Edge、Chromium の順"),
        QStringLiteral("Velkoria-setup-"),
        QStringLiteral("Velkoria が起動しています。Velkoria を終了してから「再試行」を押してください。"),
        // Controls and texts the user sees.
        QStringLiteral("マイビジネス"),
        QStringLiteral("新規登録順"),
        QStringLiteral("見積受付期限順"),
        QStringLiteral("見積件数順"),
        QStringLiteral("周期分"),
        QStringLiteral("スキャン中"),
        QStringLiteral("クイックボタン編集"),
        QStringLiteral("キャンセル"),
        QStringLiteral("新規案件:"),
        QStringLiteral("新規案件 ＜件数＞ 件"),
        QStringLiteral("インターネットエクスプローラが終了しています。Velkoriaを終了します"),
        QStringLiteral("実行時エラー"),
        // Messages quoted whole, as the program words them.
        QStringLiteral("先頭の 200 行だけを読み込み、残りの ＜行数＞ 行は読み込みませんでした。"),
        QStringLiteral("マニュアル ＜Velkoria.pdf の場所＞ が見つかりません。"),
        QStringLiteral("その文字を取り除いてください。何も送信していません。"),
        QStringLiteral("velkoria.ini の [browser] executable に実行ファイルを指定してください。"),
        // What the user does while a page loads or a scan runs is done afterwards.
        QStringLiteral("読み込み中や検査中の操作"),
        // The rhythm of the schedule.
        QStringLiteral("N 分 30 秒ごと"),
        QStringLiteral("5 分 30 秒ごと"),
    };
    for (const QString& text : expected)
        QTest::newRow(qPrintable(text)) << text;
}

void ManualTest::builtManualCoversTheProgram() {
    QFETCH(QString, text);
    static const QString document = squeezed(allText(builtPdf));
    QVERIFY2(document.contains(squeezed(text)), qPrintable(text));
}

void ManualTest::textReadsBackAsIdeographsNotRadicals() {
    // The font draws "目" and the radical "⽬" with one glyph; copy and search
    // must give the ideograph.
    const QString document = allText(builtPdf);
    QVERIFY(document.contains(QStringLiteral("目次")));
    QVERIFY(document.contains(QStringLiteral("見積受付期限順")));
    for (const QChar c : document)
        QVERIFY2(c.unicode() < 0x2E80 || c.unicode() > 0x2FDF,
                 qPrintable(QStringLiteral("radical U+%1 in the text").arg(uint(c.unicode()), 4, 16, QChar(u'0'))));
}

void ManualTest::japaneseFontIsEmbedded() {
    const Run fonts = run(QStringLiteral("pdffonts"), {builtPdf});
    QCOMPARE(fonts.exitCode, 0);
    const QStringList lines = fonts.out.split(u'\n', Qt::SkipEmptyParts).mid(2);
    QVERIFY(!lines.isEmpty());
    bool japanese = false;
    for (const QString& line : lines) {
        // Columns: name, type (may contain blanks), encoding, emb, sub, uni, object, generation.
        const QStringList columns = line.split(u' ', Qt::SkipEmptyParts);
        QVERIFY2(columns.size() >= 7, qPrintable(line));
        QVERIFY2(columns.at(columns.size() - 5) == u"yes", qPrintable(u"not embedded: " + line));
        QVERIFY2(columns.at(columns.size() - 3) == u"yes", qPrintable(u"no text mapping: " + line));
        japanese = japanese || columns.first().startsWith(u"NotoSansCJKjp");
    }
    QVERIFY2(japanese, qPrintable(fonts.out));
}

void ManualTest::everyPageCarriesItsNumber() {
    const int pages = pageCount(builtPdf);
    QVERIFY(pages > 0);
    for (int page = 1; page <= pages; ++page) {
        const QString text = pageText(builtPdf, page);
        QVERIFY2(text.contains(QStringLiteral("%1 / %2").arg(page).arg(pages)),
                 qPrintable(QStringLiteral("page %1 has no number").arg(page)));
    }
}

void ManualTest::contentsPointToTheRightPages() {
    const int pages = pageCount(builtPdf);
    int contentsPage = 0;
    for (int page = 1; page <= std::min(pages, 3) && contentsPage == 0; ++page) {
        if (pageText(builtPdf, page).contains(QStringLiteral("目次")))
            contentsPage = page;
    }
    QVERIFY2(contentsPage > 0, "no table of contents on the first pages");

    // "1 Velkoria でできること .... 3" and "5.3 周期と実際の間隔 .... 8" in layout mode.
    static const QRegularExpression entry(QStringLiteral(R"(^\s*(\d+(?:\.\d+)?)\s+(\S.*?)\s{2,}(\d+)\s*$)"));
    int entries = 0;
    int chapters = 0;
    int previousPage = 0;
    for (const QString& line : pageText(builtPdf, contentsPage, true).split(u'\n')) {
        const auto match = entry.match(line);
        if (!match.hasMatch())
            continue;
        ++entries;
        if (!match.captured(1).contains(u'.'))
            ++chapters;
        const int page = match.captured(3).toInt();
        QVERIFY2(page > contentsPage && page <= pages, qPrintable(line));
        QVERIFY2(page >= previousPage, qPrintable(u"contents out of order at: " + line));
        previousPage = page;
        const QString heading = squeezed(match.captured(1) + match.captured(2));
        QVERIFY2(squeezed(pageText(builtPdf, page)).contains(heading),
                 qPrintable(QStringLiteral("\"%1\" is not on page %2").arg(match.captured(2)).arg(page)));
    }
    QVERIFY2(chapters >= 8, qPrintable(QString::number(chapters)));
    QVERIFY2(entries > chapters, "the contents list no sections");
}

void ManualTest::screenshotsAreIncludedWhenPresent() {
    QFile source(manualSource);
    QVERIFY(source.open(QIODevice::ReadOnly));
    static const QRegularExpression image(QStringLiteral(R"(!\[[^\]]*\]\(([^)\s]+)\))"));
    int present = 0;
    int referenced = 0;
    for (auto it = image.globalMatch(QString::fromUtf8(source.readAll())); it.hasNext();) {
        ++referenced;
        if (QFile::exists(QFileInfo(manualSource).dir().filePath(it.next().captured(1))))
            ++present;
    }
    QVERIFY2(referenced >= 2, "the manual shows the main window and the editor");
    QCOMPARE(imageCount(builtPdf), present);
}

void ManualTest::toolLeavesOutMissingImagesAndCaptionsPresentOnes() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("images")));
    writeFile(dir.filePath(QStringLiteral("manual.md")), QStringLiteral("# 表題\n\n前書き\n\n"
                                                                        "## 第一章\n\n本文その一\n\n"
                                                                        "![画面その一](images/one.png)\n\n"
                                                                        "## 第二章\n\n"
                                                                        "![画面その二](images/two.png)\n\n"
                                                                        "| 名前 | 意味 |\n|---|---|\n| 甲 | 乙 |\n"));
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));

    // Neither screenshot exists yet: the book is built without them.
    Run result = run(manualTool, {dir.filePath(QStringLiteral("manual.md")), pdf});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.contains(QStringLiteral("images/one.png")), qPrintable(result.err));
    QCOMPARE(imageCount(pdf), 0);
    QString text = squeezed(allText(pdf));
    for (const char* expected : {"本文その一", "第二章", "甲", "乙", "1/"})
        QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);
    QVERIFY2(!text.contains(QStringLiteral("画面その一")), "caption of a missing image");

    // One screenshot taken: it is included with its caption, the other still left out.
    QImage picture(200, 120, QImage::Format_ARGB32);
    picture.fill(QColor(0, 128, 128, 200));
    QVERIFY(picture.save(dir.filePath(QStringLiteral("images/one.png"))));
    result = run(manualTool, {dir.filePath(QStringLiteral("manual.md")), pdf});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(imageCount(pdf), 1);
    text = squeezed(allText(pdf));
    QVERIFY(text.contains(QStringLiteral("画面その一")));
    QVERIFY(!text.contains(QStringLiteral("画面その二")));
}

void ManualTest::toolFailsWithoutSourceAndLeavesNoOutput() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    Run result = run(manualTool, {dir.filePath(QStringLiteral("missing.md")), pdf});
    QVERIFY(result.exitCode != 0);
    QVERIFY2(result.err.contains(QStringLiteral("missing.md")), qPrintable(result.err));
    QVERIFY(!QFile::exists(pdf));

    result = run(manualTool, {dir.filePath(QStringLiteral("only-one-argument.md"))});
    QVERIFY(result.exitCode != 0);
}

void ManualTest::pagesBreakByTheRules_data() {
    QTest::addColumn<QString>("rule");
    for (const char* rule : {"a table header never ends a page", "a broken table repeats its header",
                             "a header row's cells are level", "a heading keeps its first paragraph",
                             "a quoted message is not split", "text fills the room a figure cannot"})
        QTest::newRow(rule) << QString::fromLatin1(rule);
}

void ManualTest::pagesBreakByTheRules() {
    QFETCH(QString, rule);
    const Words& words = rulesBookWords();
    QVERIFY2(words.contains(u"longhead"_qs), "the book of rules was not built");
    int seen = 0; // how often the rule had something to keep
    for (int i = 0; i < kRulesSections; ++i) {
        const auto word = [&](const char* name) { return at(words, QString::fromLatin1(name) + QString::number(i)); };
        const QString where = QString::number(i);
        if (rule.contains(u"never ends")) {
            // Wherever the header stands (also repeated), a row of its table stands under it.
            for (const Word& header : words.value(u"key"_qs + where)) {
                bool row = false;
                for (const char* name : {"row", "rowa", "rowb"})
                    row = row || word(name).page == header.page;
                QVERIFY2(row, qPrintable(where));
            }
        } else if (rule.contains(u"level")) {
            QVERIFY2(qAbs(word("key").top - word("meaning").top) < 0.5, qPrintable(where));
        } else if (rule.contains(u"heading")) {
            QVERIFY2(word("hd").page == word("endp").page, qPrintable(where));
            if (i % 2 == 0)
                QVERIFY2(word("sub").page == word("endp").page, qPrintable(where));
        } else if (rule.contains(u"message")) {
            QVERIFY2(word("codea").page == word("codec").page, qPrintable(where));
        } else if (rule.contains(u"figure") && i % 3 == 2 && word("fig").page > word("prend").page) {
            // The one-line paragraph after the figure stands in the room the
            // figure left, unless that room is less than two lines.
            seen += word("post").page == word("prend").page;
            QVERIFY2(word("post").page == word("prend").page || kBodyBottom - word("prend").bottom < 30,
                     qPrintable(where));
        }
    }
    if (rule.contains(u"repeats")) {
        QSet<int> pages;
        for (int k = 0; k < 90; ++k) {
            const Word row = at(words, u"longrow%1"_qs.arg(k));
            const auto header = std::find_if(words.value(u"longhead"_qs).cbegin(), words.value(u"longhead"_qs).cend(),
                                             [&](const Word& h) { return h.page == row.page; });
            QVERIFY2(header != words.value(u"longhead"_qs).cend() && header->bottom <= row.top,
                     qPrintable(QString::number(k)));
            pages.insert(row.page);
        }
        seen = int(pages.size()) - 1;
    }
    if (rule.contains(u"repeats") || rule.contains(u"figure"))
        QVERIFY2(seen > 0, "the book never needed the rule");
}

QTEST_GUILESS_MAIN(ManualTest)
#include "manual_test.moc"
