#include "app/account.h"
#include "app/mainfrm.h"
#include "buttons/tables.h"
#include "platform/errors.h"
#include "tests/support/fakebrowser.h"
#include "tests/support/fakeend.h"
#include "tests/support/fakes.h"
#include "tests/support/tempfolder.h"

#include <QDir>
#include <QtTest>

using namespace velkoria;
using namespace velkoria::test;

namespace {

QStringList numberedLines(int count) {
    QStringList lines;
    for (int n = 1; n <= count; ++n)
        lines.append(u"key%1,s%1,カテゴリ%1"_qs.arg(n));
    return lines;
}

} // namespace

class TablesTest : public QObject {
    Q_OBJECT
private slots:
    void lineFields_data();
    void lineFields();
    void malformedFilesNameFileAndLine_data();
    void malformedFilesNameFileAndLine();
    void loadedButtonsAndTheirVisibility();
    void saveWritesSevenLinesInCodePage932();
    void secondColumnGrowsBySpacePerSave();
    void categoryFileBounds_data();
    void categoryFileBounds();
    void missingFilesGiveEmptyTables();
    void indexesOutsideTheTables();
};

void TablesTest::lineFields_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("caption");
    QTest::newRow("2 commas") << u"k1,s1,Web"_qs << u"k1"_qs << u"s1"_qs << u"Web"_qs;
    QTest::newRow("3 commas") << u"k1,s1,a,b"_qs << u"k1"_qs << u"s1"_qs << u"ab"_qs;
    QTest::newRow("4 commas") << u"k1,s1,a,b,c"_qs << u"k1"_qs << u"s1"_qs << u"abc"_qs;
    QTest::newRow("5 commas") << u"k1,s1,a,b,c,d"_qs << u"k1"_qs << u"s1"_qs << u"a"_qs;
    QTest::newRow("7 commas") << u"k1,s1,a,b,c,d,e,f"_qs << u"k1"_qs << u"s1"_qs << u"a"_qs;
    QTest::newRow("trailing comma") << u"k1,s1,Web,"_qs << u"k1"_qs << u"s1"_qs << u"Web"_qs;
    QTest::newRow("no key") << u",x,Web"_qs << QString() << u"x"_qs << u"Web"_qs;
    QTest::newRow("cleared slot") << u", ,"_qs << QString() << u" "_qs << QString();
    QTest::newRow("no trimming") << u" k , s , c "_qs << u" k "_qs << u" s "_qs << u" c "_qs;
    QTest::newRow("Japanese") << u"web_site,it ,ホームページ制作"_qs << u"web_site"_qs << u"it "_qs
                              << u"ホームページ制作"_qs;
}

void TablesTest::lineFields() {
    QFETCH(QString, line);
    QFETCH(QString, key);
    QFETCH(QString, second);
    QFETCH(QString, caption);
    QCOMPARE(parseTableLine(line, u"f.txt"_qs, 1), (TableRow{key, second, caption}));
}

void TablesTest::malformedFilesNameFileAndLine_data() {
    QTest::addColumn<QString>("loader");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("says");
    // A line with fewer than two commas, in either table's file.
    for (const QString& file : {buttonFileName(), categoryFileName()}) {
        for (const QString& bad : {QString(), u"k1"_qs, u"k1,s1"_qs}) {
            QStringList lines = numberedLines(7);
            lines[2] = bad;
            QTest::addRow("%s: \"%s\"", qPrintable(file), qPrintable(bad))
                << file << file << cp932Lines(lines) << int(SubscriptOutOfRange) << file + u" の 3 行目"_qs;
        }
    }
    // Files without the lines they must have name the first line missing.
    QTest::newRow("button file empty") << buttonFileName() << buttonFileName() << QByteArray()
                                       << int(InputPastEndOfFile) << u"1 行目"_qs;
    QTest::newRow("button file of six lines") << buttonFileName() << buttonFileName() << cp932Lines(numberedLines(6))
                                              << int(InputPastEndOfFile) << u"7 行目"_qs;
    QTest::newRow("account file of one line")
        << accountFileName() << accountFileName() << QByteArray("me\r\n") << int(InputPastEndOfFile) << u"2 行目"_qs;
    // The main window's start-up stops there: the browser is never started.
    QTest::newRow("start-up") << u"start-up"_qs << categoryFileName() << QByteArray("a,b,c\r\n\r\n")
                              << int(SubscriptOutOfRange) << u"category.txt の 2 行目"_qs;
}

void TablesTest::malformedFilesNameFileAndLine() {
    QFETCH(QString, loader);
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(int, number);
    QFETCH(QString, says);
    TempProgramFolder folder;
    folder.write(file, bytes);
    FakeMessageSink messages;
    FakeProgramEnd end;
    FakeShell shell;
    FakeClock clock;
    bool browserStarted = false;
    MainFrm window(MainServices{messages, end, shell, clock, [&] {
                                    browserStarted = true;
                                    return std::make_unique<FakeBrowser>();
                                }});
    const RuntimeError error = errorOf([&] {
        if (loader == buttonFileName())
            loadbuttons();
        else if (loader == categoryFileName())
            loadcategory();
        else if (loader == accountFileName())
            loadid();
        else
            window.formLoad();
    });
    QCOMPARE(error.number(), number);
    QVERIFY2(error.description().contains(file) && error.description().contains(says), qPrintable(error.description()));
    QVERIFY(!browserStarted);
    // Nothing is written, the faulty file included.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{file});
    QCOMPARE(folder.read(file), bytes);
}

void TablesTest::loadedButtonsAndTheirVisibility() {
    TempProgramFolder folder;
    QStringList lines{u"k1,s1,Web"_qs, u",x,Web"_qs,      u", ,"_qs,    u"k4,s4,a,b"_qs,
                      u"k5,s5,ﾃｽﾄ"_qs, u"k6,s6 ,翻訳"_qs, u"k7,s7,"_qs, u"k8,s8,ignored"_qs};
    folder.write(buttonFileName(), cp932Lines(lines));
    const ButtonInfo buttons = loadbuttons();
    FakeQuickButtons view;
    applyButtons(buttons, view);
    const QStringList captions{u"Web"_qs, u"Web"_qs, QString(), u"ab"_qs, u"ﾃｽﾄ"_qs, u"翻訳"_qs, QString()};
    const QList<bool> visible{true, false, false, true, true, true, true};
    for (int n = 1; n <= kButtonSlots; ++n) {
        QCOMPARE(view.captions[n], captions.at(n - 1));
        QCOMPARE(view.visibles[n], visible.at(n - 1));
    }
    // The eighth line is ignored and lost at the next save.
    savebuttons(buttons);
    const QByteArray saved = folder.read(buttonFileName());
    QCOMPARE(saved.count("\r\n"), 7);
    QVERIFY(!saved.contains("k8"));
}

void TablesTest::saveWritesSevenLinesInCodePage932() {
    TempProgramFolder folder;
    ButtonInfo buttons;
    buttons.slot(1) = {u"web_site"_qs, u"it"_qs, u"ホームページ制作"_qs};
    buttons.slot(2) = {u"kana"_qs, u"ｶﾅ"_qs, u"ﾃｽﾄｶﾃｺﾞﾘ"_qs};
    buttons.slot(5) = {u"k5"_qs, u"s5"_qs, u"①～－"_qs};
    savebuttons(buttons);
    QCOMPARE(folder.read(buttonFileName()),
             cp932Lines({u"web_site,it ,ホームページ制作"_qs, u"kana,ｶﾅ ,ﾃｽﾄｶﾃｺﾞﾘ"_qs, u", ,"_qs, u", ,"_qs,
                         u"k5,s5 ,①～－"_qs, u", ,"_qs, u", ,"_qs}));

    // Captions and keys come back unchanged; a cleared slot loads back empty and hidden.
    const ButtonInfo loaded = loadbuttons();
    QCOMPARE(loaded.slot(1).caption, u"ホームページ制作"_qs);
    QCOMPARE(loaded.slot(2).caption, u"ﾃｽﾄｶﾃｺﾞﾘ"_qs);
    QCOMPARE(loaded.slot(5).caption, u"①～－"_qs);
    QCOMPARE(loaded.slot(3), (TableRow{QString(), u" "_qs, QString()}));
    FakeQuickButtons view;
    applyButtons(loaded, view);
    QVERIFY(!view.visibles[3]);
}

void TablesTest::secondColumnGrowsBySpacePerSave() {
    TempProgramFolder folder;
    ButtonInfo buttons;
    buttons.slot(1) = {u"k1"_qs, u"s1"_qs, u"Web"_qs};
    for (const QString& expected : {u"s1 "_qs, u"s1  "_qs, u"s1   "_qs}) {
        savebuttons(buttons);
        buttons = loadbuttons();
        QCOMPARE(buttons.slot(1), (TableRow{u"k1"_qs, expected, u"Web"_qs}));
    }
}

void TablesTest::categoryFileBounds_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("loaded");
    QTest::addColumn<int>("notLoaded");
    QTest::newRow("empty") << 0 << 0 << 0;
    QTest::newRow("one") << 1 << 1 << 0;
    QTest::newRow("199") << 199 << 199 << 0;
    QTest::newRow("200") << 200 << 200 << 0;
    QTest::newRow("201") << 201 << 200 << 1;
    QTest::newRow("203") << 203 << 200 << 3;
}

void TablesTest::categoryFileBounds() {
    QFETCH(int, lines);
    QFETCH(int, loaded);
    QFETCH(int, notLoaded);
    TempProgramFolder folder;
    folder.write(categoryFileName(), cp932Lines(numberedLines(lines)));
    const CategoryLoad load = loadcategory();
    QCOMPARE(load.table.categorycount(), loaded);
    QCOMPARE(load.linesNotLoaded, notLoaded);
    if (loaded > 0) {
        QCOMPARE(load.table.row(1), (TableRow{u"key1"_qs, u"s1"_qs, u"カテゴリ1"_qs}));
        QCOMPARE(load.table.row(loaded).caption, u"カテゴリ%1"_qs.arg(loaded));
    }
    if (notLoaded > 0) {
        const QString notice = categoryOverflowNotice(notLoaded);
        QVERIFY(notice.contains(categoryFileName()));
        QVERIFY(notice.contains(u"%1 行は読み込みませんでした"_qs.arg(notLoaded)));
    }
}

void TablesTest::missingFilesGiveEmptyTables() {
    TempProgramFolder folder;
    QCOMPARE(loadcategory().table.categorycount(), 0);
    const ButtonInfo buttons = loadbuttons();
    for (int n = 1; n <= kButtonSlots; ++n)
        QCOMPARE(buttons.slot(n), TableRow{});
}

void TablesTest::indexesOutsideTheTables() {
    ButtonInfo buttons;
    QCOMPARE(errorOf([&] { buttons.slot(0); }).number(), int(SubscriptOutOfRange));
    QCOMPARE(errorOf([&] { buttons.slot(8); }).number(), int(SubscriptOutOfRange));
    CategoryTable table;
    table.append({u"k"_qs, u"s"_qs, u"c"_qs});
    QCOMPARE(errorOf([&] { table.row(0); }).number(), int(SubscriptOutOfRange));
    QCOMPARE(errorOf([&] { table.row(2); }).number(), int(SubscriptOutOfRange));
}

QTEST_MAIN(TablesTest)
#include "tables_test.moc"
