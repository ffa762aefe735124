// The Windows build under Wine, on the test's display: the program folder that
// `cmake --install` makes starts and takes the browser a user would expect;
// the setup program installs, updates keeping the user's files, and
// uninstalls; the check kit for a real PC runs and sums up.

#include "tests/support/programrun.h"
#include "tests/windows/wineprefix.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

using namespace velkoria::test;

namespace {

const QString kWindowsBuild = QStringLiteral(VELKORIA_WINDOWS_BUILD_DIR);

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Each file under a folder with its size and time, to tell whether any changed.
QStringList stamps(const QString& folder) {
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        out << u"%1 %2 %3"_qs.arg(QDir(folder).relativeFilePath(info.filePath()))
                   .arg(info.size())
                   .arg(info.lastModified().toMSecsSinceEpoch());
    }
    out.sort();
    return out;
}

// The icon sizes and the version strings of a Windows program's resources.
QString resources(const QString& program) {
    QTemporaryDir icons;
    runTool(u"wrestool"_qs, {u"-x"_qs, u"-t14"_qs, u"-o"_qs, icons.path(), program});
    QString out;
    for (const QString& ico : QDir(icons.path()).entryList({u"*.ico"_qs}))
        out += runTool(u"icotool"_qs, {u"-l"_qs, icons.filePath(ico)}).replace(u'\n', u' ');
    QProcess version;
    version.start(u"wrestool"_qs, {u"-x"_qs, u"--raw"_qs, u"-t16"_qs, program});
    version.waitForFinished(10000);
    const QByteArray bytes = version.readAllStandardOutput();
    out += QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2)
               .replace(QChar(0), u' ');
    return out;
}

// Every file under a folder, relative to it, sorted.
QStringList filesUnder(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace

class WindowsProgramTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void installedFolderTakesTheExpectedBrowser_data();
    void installedFolderTakesTheExpectedBrowser();
    void programsCarryIconAndVersion();
    void setupInstallsUpdatesAndUninstalls();
    void checkKitSumsUp();

private:
    // Starts velkoria.exe of a folder; returns the text of its first message
    // box, after closing the box with the keyboard and seeing the program end.
    QString firstBox(const QString& folder);
    // Where a browser of the fake install folders lies (a path inside the
    // prefix, or one of the user's folders), and their removal.
    QString fakeBrowserPlace(const QString& where) const;
    void removeFakeBrowsers();
    // Runs a setup program or uninstaller silently, to its end.
    bool setup(const QString& program);
    // Runs one silently while velkoria.exe of the folder runs: it must refuse,
    // with a non-zero exit code, and change nothing.
    void refusedWhileRunning(const QString& folder, const QString& program, const QStringList& arguments);

    WinePrefix m_prefix;
    QTemporaryDir m_dir;
    QString m_installed;
};

void WindowsProgramTest::initTestCase() {
    QVERIFY(m_prefix.isValid() && m_dir.isValid());
    // The prefix is made first (several seconds).
    const QString failures = m_prefix.make();
    QVERIFY2(failures.isEmpty(), qPrintable(failures));
    m_installed = m_dir.filePath(QStringLiteral("Velkoria 山田"));
    const QString out = runTool(QStringLiteral(VELKORIA_CMAKE_COMMAND),
                                {u"--install"_qs, kWindowsBuild, u"--prefix"_qs, m_installed, u"--strip"_qs}, 120000);
    QVERIFY2(QFileInfo::exists(m_installed + QStringLiteral("/velkoria.exe")), qPrintable(out));
    // What runs on a PC without Qt or MinGW, and nothing of the tests.
    QCOMPARE(filesUnder(m_installed),
             (QStringList{u"Qt6Core.dll"_qs, u"Qt6Gui.dll"_qs, u"Qt6Widgets.dll"_qs, u"Velkoria.pdf"_qs,
                          u"button_info.txt"_qs, u"category.txt"_qs, u"libcurl.dll"_qs, u"libgcc_s_seh-1.dll"_qs,
                          u"libstdc++-6.dll"_qs, u"libwinpthread-1.dll"_qs, u"platforms/qwindows.dll"_qs,
                          u"styles/qwindowsvistastyle.dll"_qs, u"velkoria.exe"_qs}));
}

QString WindowsProgramTest::firstBox(const QString& folder) {
    const QString log = m_dir.filePath(QStringLiteral("messages.log"));
    QFile::remove(log);
    m_prefix.setEnvironment(QStringLiteral("VELKORIA_MESSAGE_LOG"), m_prefix.windowsPath(log));
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    m_prefix.start(program, m_prefix.windowsPath(folder + QStringLiteral("/velkoria.exe")));
    const bool shown = waitFor([&] { return !fileBytes(log).isEmpty(); }, 90000);
    const QString text = QString::fromUtf8(fileBytes(log)).trimmed();
    // The box is on the screen and, clicked, takes the keyboard: Enter closes it and the
    // program ends (the main window may be up behind it).
    QString window;
    waitFor([&] { return !(window = messageBoxes().value(0)).isEmpty(); }, 30000);
    ProgramRun::closeBox(window);
    const bool ended = program.waitForFinished(30000);
    if (!ended)
        m_prefix.endAll();
    program.waitForFinished(10000);
    if (!shown || window.isEmpty() || !ended)
        return QStringLiteral("(shown: %1, window: %2, ended: %3) %4").arg(shown).arg(window).arg(ended).arg(text);
    return text;
}

void WindowsProgramTest::installedFolderTakesTheExpectedBrowser_data() {
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("expected");
    const QString chrome = QStringLiteral("Google/Chrome/Application/chrome.exe");
    const QString allUsersChrome = QStringLiteral("drive_c/Program Files/") + chrome;
    const QString userChrome = QStringLiteral("AppData/Local/") + chrome;
    const QString edge = QStringLiteral("drive_c/Program Files (x86)/Microsoft/Edge/Application/msedge.exe");
    const QString chromium = QStringLiteral("AppData/Local/Chromium/Application/chrome.exe");
    QTest::newRow("Chrome for this user before Edge") << QStringList{userChrome, edge} << userChrome;
    QTest::newRow("Chrome for all users first") << QStringList{userChrome, edge, allUsersChrome} << allUsersChrome;
    QTest::newRow("Edge before Chromium") << QStringList{chromium, edge} << edge;
}

// Fake install folders hold a program that ends at once in place of each
// browser: the program's box names the one it started.
void WindowsProgramTest::installedFolderTakesTheExpectedBrowser() {
    QFETCH(QStringList, installed);
    QFETCH(QString, expected);
    const auto place = [&](const QString& where) { return fakeBrowserPlace(where); };
    removeFakeBrowsers();
    for (const QString& browser : installed) {
        QDir().mkpath(QFileInfo(place(browser)).absolutePath());
        QVERIFY(QFile::copy(QStringLiteral(VELKORIA_ENDS_AT_ONCE), place(browser)));
    }
    const QString box = firstBox(m_installed);
    QVERIFY2(box.contains(u"'429'"_qs) && box.contains(m_prefix.windowsPath(place(expected)), Qt::CaseInsensitive),
             qPrintable(box));
}

QString WindowsProgramTest::fakeBrowserPlace(const QString& where) const {
    return where.startsWith(u"drive_c/") ? m_prefix.path() + u'/' + where : m_prefix.userFolder(where);
}

void WindowsProgramTest::removeFakeBrowsers() {
    for (const QString& root : {u"drive_c/Program Files/Google"_qs, u"drive_c/Program Files (x86)/Microsoft/Edge"_qs,
                                u"AppData/Local/Google"_qs, u"AppData/Local/Chromium"_qs})
        QDir(fakeBrowserPlace(root)).removeRecursively();
}

bool WindowsProgramTest::setup(const QString& program) {
    const WinePrefix::Result result = m_prefix.run(m_prefix.windowsPath(program), {QStringLiteral("/S")}, 120000);
    // The uninstaller goes on in a copy of itself: wait for every program.
    const bool done = m_prefix.waitForAll(120000);
    if (!result.finished || result.exitCode != 0 || !done)
        qWarning("%s: finished %d, exit code %d, all ended %d\n%s", qPrintable(program), result.finished,
                 result.exitCode, done, qPrintable(result.output));
    return result.finished && result.exitCode == 0 && done;
}

// Explorer, the Start menu, the taskbar and Apps & Features show the icon,
// drawn at each size; the file's properties show the product and version.
void WindowsProgramTest::programsCarryIconAndVersion() {
    const QStringList setups = QDir(kWindowsBuild).entryList({u"Velkoria-setup-*.exe"_qs}, QDir::Files);
    QCOMPARE(setups.size(), 1);
    for (const QString& program :
         QStringList{m_installed + u"/velkoria.exe"_qs, kWindowsBuild + u'/' + setups.first()}) {
        const QString found = resources(program);
        for (const QString& expected :
             {u"--width=16 "_qs, u"--width=24 "_qs, u"--width=32 "_qs, u"--width=48 "_qs, u"--width=256 "_qs,
              u"ProductName Velkoria"_qs, u"ProductVersion 1.0"_qs, u"CompanyName Velkoria Project"_qs})
            QVERIFY2(found.simplified().contains(expected), qPrintable(program + u": "_qs + found.simplified()));
    }
}

void WindowsProgramTest::refusedWhileRunning(const QString& folder, const QString& program,
                                             const QStringList& arguments) {
    const QString log = m_dir.filePath(QStringLiteral("running.log"));
    QFile::remove(log);
    m_prefix.setEnvironment(QStringLiteral("VELKORIA_MESSAGE_LOG"), m_prefix.windowsPath(log));
    QProcess velkoria;
    m_prefix.start(velkoria, m_prefix.windowsPath(folder + QStringLiteral("/velkoria.exe")));
    // Up with its box (the fake browser ends at once) until the box is closed.
    QVERIFY(waitFor([&] { return !fileBytes(log).isEmpty(); }, 90000));
    const QStringList before = stamps(folder);
    const WinePrefix::Result result = m_prefix.run(m_prefix.windowsPath(program), arguments, 120000);
    QVERIFY2(result.finished && result.exitCode == 2,
             qPrintable(u"%1: %2\n%3"_qs.arg(program).arg(result.exitCode).arg(result.output)));
    QCOMPARE(stamps(folder), before);
    QString box;
    QVERIFY(waitFor([&] { return !(box = messageBoxes().value(0)).isEmpty(); }, 30000));
    ProgramRun::closeBox(box);
    QVERIFY(velkoria.waitForFinished(30000));
}

void WindowsProgramTest::setupInstallsUpdatesAndUninstalls() {
    const QStringList setups = QDir(kWindowsBuild).entryList({u"Velkoria-setup-*.exe"_qs}, QDir::Files);
    QCOMPARE(setups.size(), 1);
    const QString installer = kWindowsBuild + u'/' + setups.first();
    const QString folder = m_prefix.userFolder(QStringLiteral("AppData/Local/Programs/Velkoria"));
    const QString shortcut =
        m_prefix.userFolder(QStringLiteral("AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Velkoria.lnk"));
    const auto uninstallEntry = [&](const QString& value) {
        return m_prefix
            .run(QStringLiteral("reg"),
                 {u"query"_qs, u"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velkoria"_qs, u"/v"_qs,
                  value},
                 60000)
            .output;
    };

    QVERIFY(setup(installer));
    QStringList installed = filesUnder(m_installed) + QStringList{u"uninstall.exe"_qs};
    installed.sort();
    QCOMPARE(filesUnder(folder), installed);
    QVERIFY(QFileInfo::exists(shortcut));
    const QString entry = uninstallEntry(u"QuietUninstallString"_qs);
    QVERIFY2(entry.contains(u"uninstall.exe\" /S"_qs), qPrintable(entry));
    // Apps & Features: who made it, its version and its size (the program's alone).
    QVERIFY(uninstallEntry(u"Publisher"_qs).contains(u"Velkoria Project"_qs));
    QVERIFY(uninstallEntry(u"DisplayVersion"_qs).contains(u"1.0"_qs));
    const auto size = QRegularExpression(u"EstimatedSize\\s+REG_DWORD\\s+0x([0-9a-f]+)"_qs)
                          .match(uninstallEntry(u"EstimatedSize"_qs));
    QVERIFY(size.hasMatch() && size.captured(1).toInt(nullptr, 16) > 10000); // KB: Qt's DLLs alone are more
    QVERIFY(resources(folder + u"/uninstall.exe"_qs).contains(u"--width=256 "_qs));
    // It starts from there (with the browser of the last fake install folders).
    const QString box = firstBox(folder);
    QVERIFY2(box.contains(u"'429'"_qs), qPrintable(box));
    // Neither an update nor an uninstall while it runs. The uninstaller runs
    // in place (_?=) to give its own exit code: started plainly it goes on
    // in a copy of itself.
    refusedWhileRunning(folder, installer, {u"/S"_qs});
    if (QTest::currentTestFailed())
        return;
    refusedWhileRunning(folder, folder + u"/uninstall.exe"_qs, {u"/S"_qs, u"_?="_qs + m_prefix.windowsPath(folder)});
    if (QTest::currentTestFailed())
        return;
    QVERIFY(uninstallEntry(u"DisplayName"_qs).contains(u"Velkoria"_qs));

    // The user's files, a binding saved among them; a program file damaged.
    const QList<std::pair<QString, QByteArray>> userFiles = {
        {u"button_info.txt"_qs, QByteArray("1,saved,k9,1\r\n")},
        {u"zandorp_id.txt"_qs, QByteArray("me\r\npw\r\n")},
        {u"new_item.txt"_qs, QByteArray("123\r\n")},
        {u"velkoria.ini"_qs, QByteArray("[browser]\r\nload_timeout_seconds=90\r\n")},
        {u"browser-profile/Default/Cookies"_qs, QByteArray("cookie")}};
    for (const auto& [name, bytes] : userFiles)
        QVERIFY(writeFile(folder + u'/' + name, bytes));
    QVERIFY(writeFile(folder + QStringLiteral("/category.txt"), "damaged"));
    QVERIFY(QFile::remove(folder + QStringLiteral("/platforms/qwindows.dll")));

    QVERIFY(setup(installer));
    for (const auto& [name, bytes] : userFiles)
        QCOMPARE(fileBytes(folder + u'/' + name), bytes);
    QCOMPARE(fileBytes(folder + QStringLiteral("/category.txt")),
             fileBytes(m_installed + QStringLiteral("/category.txt")));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/platforms/qwindows.dll")));

    QVERIFY(setup(folder + QStringLiteral("/uninstall.exe")));
    QStringList left;
    for (const auto& [name, bytes] : userFiles)
        left << name;
    left.sort();
    QCOMPARE(filesUnder(folder), left);
    QVERIFY(!QFileInfo::exists(shortcut));
    QVERIFY(!uninstallEntry(u"QuietUninstallString"_qs).contains(u"uninstall.exe"_qs));
}

// The kit for a real PC, unpacked and run as a double-click would (without
// waiting for a key at the end): every test passes and one line says so.
void WindowsProgramTest::checkKitSumsUp() {
    removeFakeBrowsers(); // the prefix has no Chrome or Edge then
    const QString kit = m_dir.filePath(QStringLiteral("kit"));
    QDir().mkpath(kit);
    QProcess unzip;
    unzip.setWorkingDirectory(kit);
    unzip.start(QStringLiteral(VELKORIA_CMAKE_COMMAND),
                {u"-E"_qs, u"tar"_qs, u"xf"_qs, kWindowsBuild + QStringLiteral("/velkoria-checks.zip")});
    QVERIFY(unzip.waitForFinished(60000) && unzip.exitCode() == 0);
    const WinePrefix::Result result = m_prefix.run(
        QStringLiteral("cmd"),
        {u"/c"_qs, m_prefix.windowsPath(kit + QStringLiteral("/velkoria-checks/run-checks.cmd")), u"/nopause"_qs},
        600000);
    const QString summary = result.output.trimmed().section(u'\n', -1).trimmed();
    QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.output));
    // Wine has no Chrome or Edge: the real-browser check says so and is left out.
    QVERIFY2(result.output.contains(u"SKIP  browser  no Chrome or Edge is installed on this PC"_qs),
             qPrintable(result.output));
    QVERIFY2(QRegularExpression(u"^Velkoria checks: all \\d+ passed, the browser check skipped: no Chrome or Edge$"_qs)
                 .match(summary)
                 .hasMatch(),
             qPrintable(result.output));
    qInfo("%s", qPrintable(summary));
}

QTEST_GUILESS_MAIN(WindowsProgramTest)
#include "windows_program_test.moc"
