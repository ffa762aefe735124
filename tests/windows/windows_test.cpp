// Runs the Windows-only platform code under Wine: each test function starts
// one group of checks of win32/wintest.cpp (cross-compiled with MinGW-w64) in a
// Wine prefix of this run's own and reports its failures.

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class WindowsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void onlyThePipeEndsAreInherited();
    void messagesBothWays();
    void readDeadline();
    void browserGoneForEveryWaiter();
    void writeToStalledBrowserFails();
    void browserEndsWithKilledProgram();
    void codePage932Table();
    void accountFileRestrictedToOwner();

private:
    QProcessEnvironment wineEnvironment() const;
    void runGroup(const QString& group, int limitMs = 90000);

    QTemporaryDir m_prefix;
};

QProcessEnvironment WindowsTest::wineEnvironment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), m_prefix.path());
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    // No .NET or HTML engine installers when the prefix is made, and no window.
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

void WindowsTest::runGroup(const QString& group, int limitMs) {
    QProcess wine;
    wine.setProcessEnvironment(wineEnvironment());
    wine.setProcessChannelMode(QProcess::MergedChannels);
    wine.start(QStringLiteral(VELKORIA_WINE), {QStringLiteral(VELKORIA_WINTEST), group});
    QVERIFY2(wine.waitForStarted(10000), qPrintable(wine.errorString()));
    const bool finished = wine.waitForFinished(limitMs);
    if (!finished) {
        wine.kill();
        wine.waitForFinished(10000);
    }
    const QString output = QString::fromUtf8(wine.readAll());
    QVERIFY2(finished,
             qPrintable(QStringLiteral("%1 did not end within %2 s:\n%3").arg(group).arg(limitMs / 1000).arg(output)));
    QVERIFY2(wine.exitStatus() == QProcess::NormalExit && wine.exitCode() == 0, qPrintable(output));
}

void WindowsTest::initTestCase() {
    QVERIFY(m_prefix.isValid());
    // The first program run makes the prefix (several seconds).
    runGroup(QStringLiteral("ready"), 180000);
}

void WindowsTest::cleanupTestCase() {
    // Ends the prefix's Wine server and the services it started.
    QProcess server;
    server.setProcessEnvironment(wineEnvironment());
    server.start(QFileInfo(QStringLiteral(VELKORIA_WINE)).absolutePath() + QStringLiteral("/wineserver"),
                 {QStringLiteral("-k")});
    if (!server.waitForFinished(20000))
        server.kill();
    server.waitForFinished(5000);
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

// The table of tests/windows/cp932cases.h with the system's own conversion;
// textfile_test runs the same table through the Qt one.
void WindowsTest::codePage932Table() {
    runGroup(QStringLiteral("cp932"));
}

void WindowsTest::accountFileRestrictedToOwner() {
    runGroup(QStringLiteral("owner-only"));
}

QTEST_GUILESS_MAIN(WindowsTest)
#include "windows_test.moc"
