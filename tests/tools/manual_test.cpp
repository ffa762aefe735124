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
        QStringLiteral("インターネットエクスプローラが終了しています。Velkoriaを終了します"),
        QStringLiteral("実行時エラー"),
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

QTEST_GUILESS_MAIN(ManualTest)
#include "manual_test.moc"
