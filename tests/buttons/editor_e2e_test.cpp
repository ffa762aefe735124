// The editor dialog in the built program, driven with the mouse and keyboard
// on a real display.
#include "tests/support/programrun.h"
#include "tests/support/tempfolder.h"

#include <QFile>
#include <QThread>
#include <QtTest>

using namespace velkoria::test;

namespace {
// Client-area centres of the dialog's controls (twips / 15).
QPoint comboCentre(int row) {
    return {228, 34 + 24 * row};
}
} // namespace

class EditorE2eTest : public QObject {
    Q_OBJECT
private slots:
    void pickAndSaveBindsTheButton();
};

void EditorE2eTest::pickAndSaveBindsTheButton() {
    Simulator sim;
    QVERIFY(sim.start());
    ProgramRun run;
    run.prepare(sim);
    QVERIFY(run.start());
    const QByteArray before = fileBytes(run.file(u"button_info.txt"_qs));

    // Edit and Save by keyboard: Enter presses the button that has the focus.
    // The focus starts on My Business; the tab chain goes round to Edit by the
    // cycle box.
    runTool(u"xdotool"_qs, {u"windowactivate"_qs, u"--sync"_qs, run.window()});
    run.key(u"shift+Tab"_qs);
    run.key(u"shift+Tab"_qs);
    run.key(u"Return"_qs);
    const QString dialog = run.waitForWindow(u"^クイックボタン編集$"_qs);
    QVERIFY(!dialog.isEmpty());
    // Row 5 (slot 5) is unbound: open its list and pick the fourth category.
    ProgramRun::clickInWindow(dialog, comboCentre(4));
    run.key(u"alt+Down"_qs);
    QThread::msleep(400);
    run.key(u"Home"_qs);
    for (int i = 0; i < 3; ++i)
        run.key(u"Down"_qs);
    run.key(u"Return"_qs);
    QThread::msleep(300);
    // Text typed into row 6 changes nothing.
    ProgramRun::clickInWindow(dialog, comboCentre(5));
    run.key(u"ctrl+a"_qs);
    run.typeText(u"typed"_qs);
    run.key(u"Tab"_qs); // row 7
    run.key(u"Tab"_qs); // Save
    run.key(u"Return"_qs);

    QTRY_VERIFY_WITH_TIMEOUT(fileBytes(run.file(u"button_info.txt"_qs)) != before, 10000);
    QVERIFY(run.waitForWindow(u"^クイックボタン編集$"_qs, 300).isEmpty()); // Save hid the dialog
    const QList<QByteArray> lines = fileBytes(run.file(u"button_info.txt"_qs)).split('\n');
    QCOMPARE(lines.size(), 8);                                            // seven lines, each ended by CR LF
    QCOMPARE(lines.at(0), cp932(u"web_site,it  ,ホームページ制作\r"_qs)); // the second column grows a space per save
    QCOMPARE(lines.at(4), cp932(u"ec_site,it ,ECサイト構築\r"_qs));
    QCOMPARE(lines.at(5), cp932(u"translation,office  ,翻訳・通訳\r"_qs));

    // The main window's fifth button now searches that category.
    run.clickQuickButton(5);
    QTRY_VERIFY_WITH_TIMEOUT(!sim.requestsWithBody("key=ec_site&").isEmpty(), 20000);
    QVERIFY(run.messages().isEmpty());
}

QTEST_GUILESS_MAIN(EditorE2eTest)
#include "editor_e2e_test.moc"
