#include "app/help.h"
#include "tests/support/fakebrowser.h"
#include "tests/support/fakes.h"
#include "tests/support/tempfolder.h"

#include <QDir>
#include <QUrl>
#include <QtTest>

using namespace velkoria;
using namespace velkoria::test;

class HelpTest : public QObject {
    Q_OBJECT
private slots:
    void desktopApplicationOpensTheManual();
    void withoutApplicationTheBrowserShowsIt();
    void everyFailureNamesTheFile_data();
    void everyFailureNamesTheFile();
};

void HelpTest::desktopApplicationOpensTheManual() {
    TempProgramFolder folder;
    folder.write(u"Velkoria.pdf"_qs, "%PDF-1.4\n");
    FakeShell shell;
    FakeBrowser browser;
    FakeMessageSink messages;
    openManual(folder.file(u"Velkoria.pdf"_qs), shell, &browser, messages);
    QCOMPARE(shell.opened, QStringList{folder.file(u"Velkoria.pdf"_qs)});
    QVERIFY(browser.calls.isEmpty());
    QVERIFY(messages.texts.isEmpty());
}

void HelpTest::withoutApplicationTheBrowserShowsIt() {
    // A folder name with a space and Japanese: the browser gets a proper file URL.
    TempProgramFolder folder;
    QVERIFY(QDir(folder.path()).mkdir(u"マニュアル 1"_qs));
    const QString path = folder.file(u"マニュアル 1/Velkoria.pdf"_qs);
    folder.write(u"マニュアル 1/Velkoria.pdf"_qs, "%PDF-1.4\n");
    FakeShell shell;
    shell.result = false;
    FakeBrowser browser;
    browser.visible = false;
    FakeMessageSink messages;
    openManual(path, shell, &browser, messages);
    QCOMPARE(browser.navigations.size(), 1);
    QCOMPARE(QUrl(browser.navigations.at(0).url).toLocalFile(), path);
    QVERIFY(browser.navigations.at(0).body.isEmpty()); // a plain navigation, not a POST
    QVERIFY(browser.visible);
    QVERIFY(messages.texts.isEmpty());
}

void HelpTest::everyFailureNamesTheFile_data() {
    QTest::addColumn<bool>("manualExists");
    QTest::addColumn<int>("browserCase"); // 0 none, 1 load fails, 2 load stalls
    QTest::addColumn<QString>("says");
    QTest::newRow("manual missing") << false << 1 << u"が見つかりません"_qs;
    QTest::newRow("no browser") << true << 0 << u"を表示できません"_qs;
    QTest::newRow("browser cannot load it") << true << 1 << u"を表示できません"_qs;
    QTest::newRow("browser does not load it in time") << true << 2 << u"を表示できません"_qs;
}

void HelpTest::everyFailureNamesTheFile() {
    QFETCH(bool, manualExists);
    QFETCH(int, browserCase);
    QFETCH(QString, says);
    TempProgramFolder folder;
    if (manualExists)
        folder.write(u"Velkoria.pdf"_qs, "%PDF-1.4\n");
    FakeShell shell;
    shell.result = false;
    FakeBrowser browser;
    browser.pageFor = [&](const FakeBrowser::Navigation&) {
        FakeBrowser::Page page;
        page.failed = browserCase == 1;
        page.stalls = browserCase == 2;
        return page;
    };
    FakeMessageSink messages;
    openManual(folder.file(u"Velkoria.pdf"_qs), shell, browserCase == 0 ? nullptr : &browser, messages);
    QCOMPARE(messages.texts.size(), 1);
    QVERIFY2(messages.texts.at(0).contains(QDir::toNativeSeparators(folder.file(u"Velkoria.pdf"_qs))),
             qPrintable(messages.texts.at(0)));
    QVERIFY(messages.texts.at(0).contains(says));
    if (!manualExists)
        QVERIFY(shell.opened.isEmpty() && browser.calls.isEmpty());
}

QTEST_MAIN(HelpTest)
#include "help_test.moc"
