// Runs the Windows-only platform code under Wine: each test function starts
// one group of checks of win32/wintest.cpp (cross-compiled with MinGW-w64) in a
// Wine prefix of this run's own and reports its failures.

#include "tests/windows/wineprefix.h"

#include <QtTest>

using velkoria::test::WinePrefix;

class WindowsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void onlyThePipeEndsAreInherited();
    void messagesBothWays();
    void readDeadline();
    void browserGoneForEveryWaiter();
    void writeToStalledBrowserFails();
    void browserEndsWithKilledProgram();
    void browserHelpersLeaveTheJob();
    void codePage932Table();
    void wholeFiles();

private:
    void runGroup(const QString& group, int limitMs = 90000);

    WinePrefix m_prefix;
};

void WindowsTest::runGroup(const QString& group, int limitMs) {
    const WinePrefix::Result result = m_prefix.run(QStringLiteral(VELKORIA_WINTEST), {group}, limitMs);
    QVERIFY2(result.finished,
             qPrintable(
                 QStringLiteral("%1 did not end within %2 s:\n%3").arg(group).arg(limitMs / 1000).arg(result.output)));
    QVERIFY2(result.exitCode == 0,
             qPrintable(
                 QStringLiteral("%1 ended with exit code %2:\n%3").arg(group).arg(result.exitCode).arg(result.output)));
}

void WindowsTest::initTestCase() {
    QVERIFY(m_prefix.isValid());
    // No window: the prefix is made without one, too.
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    // The prefix is made first (several seconds).
    const QString failures = m_prefix.make();
    QVERIFY2(failures.isEmpty(), qPrintable(failures));
    runGroup(QStringLiteral("ready"));
}

// The fake browser checks that an inheritable handle of the program is not
// open in it; its command line (quoted, non-ASCII folders) arrives whole.
void WindowsTest::onlyThePipeEndsAreInherited() {
    runGroup(QStringLiteral("handles"));
}

// Small and 1 MiB messages both ways, in a row.
void WindowsTest::messagesBothWays() {
    runGroup(QStringLiteral("messages"));
}

void WindowsTest::readDeadline() {
    runGroup(QStringLiteral("deadline"));
}

// The browser exiting, killed or closing its output: every waiting read ends at
// once with "closed"; closing its input makes writes fail at once.
void WindowsTest::browserGoneForEveryWaiter() {
    runGroup(QStringLiteral("gone"));
}

void WindowsTest::writeToStalledBrowserFails() {
    runGroup(QStringLiteral("stall"));
}

// The job object: killing the program that started the browser ends the browser.
void WindowsTest::browserEndsWithKilledProgram() {
    runGroup(QStringLiteral("killed-parent"));
}

// Chrome's sandboxed helpers go in jobs of its own: they must leave ours.
void WindowsTest::browserHelpersLeaveTheJob() {
    runGroup(QStringLiteral("job"));
}

// The table of tests/windows/cp932cases.h with the system's own conversion;
// textfile_test runs the same table through the Qt one.
void WindowsTest::codePage932Table() {
    runGroup(QStringLiteral("cp932"));
}

// The account file restricted to its owner; a file that another program
// holds for a moment (a virus scanner) is waited for, one held longer is not.
void WindowsTest::wholeFiles() {
    runGroup(QStringLiteral("files"));
}

QTEST_GUILESS_MAIN(WindowsTest)
#include "windows_test.moc"
