// The program folder as a user keeps it: a rebuild and an install over it
// leave the user's files alone, the installed folder runs, and Help answers
// with or without an application for PDF files.
#include "tests/support/programrun.h"
#include "tests/support/tempfolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace velkoria::test;

namespace {
const QString kBuild = QStringLiteral(VELKORIA_BUILD_DIR);
const QString kSource = QStringLiteral(VELKORIA_SOURCE_DIR);

// Runs cmake with args; returns its output, failing the test when it fails.
bool cmake(const QStringList& args, QByteArray* output = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(VELKORIA_CMAKE_COMMAND), args);
    const bool ok = p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output)
        *output = p.readAll();
    if (!ok)
        qWarning("cmake %s:\n%s", qPrintable(args.join(u' ')), p.readAll().constData());
    return ok;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The user's own files of a program folder, as a user leaves them.
const QList<QPair<QString, QByteArray>> kUserFiles = {
    {u"button_info.txt"_qs, "printing,it ,印刷\r\n, ,\r\n, ,\r\n, ,\r\n, ,\r\n, ,\r\n, ,\r\n"},
    {u"zandorp_id.txt"_qs, "demo@zandorp.example\r\ndemo-pass\r\n"},
    {u"new_item.txt"_qs, "100001\r\n"},
    {u"browser-profile/Local State"_qs, "{}"},
};

// The desktop's application database as the program sees it: only what the
// test puts there (no PDF application, or a recording fake one).
class Desktop {
public:
    Desktop() {
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            qputenv(name, m_dir.path().toLocal8Bit());
        // The system's file types, but none of its applications.
        QDir(m_dir.path()).mkpath(u"system"_qs);
        QFile::link(u"/usr/share/mime"_qs, m_dir.filePath(u"system/mime"_qs));
        qputenv("XDG_DATA_DIRS", m_dir.filePath(u"system"_qs).toLocal8Bit());
        qputenv("XDG_CONFIG_DIRS", m_dir.filePath(u"system"_qs).toLocal8Bit());
        // A generic desktop, whatever session the tests were started from.
        for (const char* name :
             {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "BROWSER"})
            qunsetenv(name);
    }
    // A PDF application that records the file it is asked to open.
    void addPdfApplication() {
        QDir(m_dir.path()).mkpath(u"applications"_qs);
        const QString script = m_dir.filePath(u"viewer.sh"_qs);
        writeFile(script, QStringLiteral("#!/bin/sh\necho \"$1\" > '%1'\n").arg(openedLog()).toUtf8());
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeFile(m_dir.filePath(u"applications/testviewer.desktop"_qs),
                  QStringLiteral("[Desktop Entry]\nType=Application\nName=Test viewer\nExec=%1 %f\n"
                                 "MimeType=application/pdf;\n")
                      .arg(script)
                      .toUtf8());
        writeFile(m_dir.filePath(u"mimeapps.list"_qs), "[Default Applications]\napplication/pdf=testviewer.desktop\n");
    }
    QString openedLog() const { return m_dir.filePath(u"opened.txt"_qs); }

private:
    QTemporaryDir m_dir;
};
} // namespace

class ProgramFolderE2eTest : public QObject {
    Q_OBJECT
private slots:
    void rebuildKeepsTheUserFiles();
    void installOverAFolderKeepsTheUserFilesAndRuns();
    void installIntoAnEmptyFolderWritesOnlyTheProgramFolder();
    void helpWithoutPdfApplicationShowsTheManualInTheBrowser();
    void helpOpensTheDesktopPdfApplication();
};

void ProgramFolderE2eTest::rebuildKeepsTheUserFiles() {
    // build/program is the folder ./run.sh starts: the user's bindings there
    // must survive the configure and build of the next ./run.sh.
    const QString buttons = kBuild + u"/program/button_info.txt"_qs;
    const QString ini = kBuild + u"/program/velkoria.ini"_qs;
    // The developer's own files there are put back afterwards.
    const auto keep = [](const QString& path) {
        return qScopeGuard([path, existed = QFile::exists(path), bytes = fileBytes(path)] {
            if (existed)
                writeFile(path, bytes);
            else
                QFile::remove(path);
        });
    };
    auto keepButtons = keep(buttons);
    auto keepIni = keep(ini);
    const QByteArray userIni = "[marketplace]\nsearch_url=http://www.zandorp.jp/\n";
    QVERIFY(writeFile(buttons, kUserFiles.at(0).second));
    QVERIFY(writeFile(ini, userIni));
    QVERIFY(cmake({kBuild}));
    QVERIFY(cmake({u"--build"_qs, kBuild, u"--target"_qs, u"velkoria_program_data"_qs}));
    QCOMPARE(fileBytes(buttons), kUserFiles.at(0).second);
    QCOMPARE(fileBytes(ini), userIni);

    // A missing one is the only one a build puts there: the first set of buttons.
    QVERIFY(QFile::remove(buttons));
    QVERIFY(cmake({u"--build"_qs, kBuild, u"--target"_qs, u"velkoria_program_data"_qs}));
    QCOMPARE(fileBytes(buttons), fileBytes(kSource + u"/data/button_info.txt"_qs));
}

void ProgramFolderE2eTest::installOverAFolderKeepsTheUserFilesAndRuns() {
    Simulator sim;
    QVERIFY(sim.start());
    ProgramRun run;
    run.prepare(sim); // a program folder in use: settings for the simulator
    const QByteArray ini = fileBytes(run.file(u"velkoria.ini"_qs));
    QVERIFY(QDir(run.folder()).mkdir(u"browser-profile"_qs));
    for (const auto& [name, bytes] : kUserFiles)
        QVERIFY(writeFile(run.file(name), bytes));
    QVERIFY(writeFile(run.file(u"category.txt"_qs), "old,x,古い一覧\r\n"));
    QVERIFY(QFile::remove(run.file(u"velkoria"_qs)));

    QByteArray output;
    QVERIFY(cmake({u"--install"_qs, kBuild, u"--prefix"_qs, run.folder()}, &output));
    for (const auto& [name, bytes] : kUserFiles)
        QVERIFY2(fileBytes(run.file(name)) == bytes, qPrintable(name));
    QCOMPARE(fileBytes(run.file(u"velkoria.ini"_qs)), ini);
    // Installation data is refreshed.
    QCOMPARE(fileBytes(run.file(u"category.txt"_qs)), fileBytes(kSource + u"/data/category.txt"_qs));
    QVERIFY(QFileInfo(run.file(u"velkoria"_qs)).isExecutable());

    // The installed program starts with the user's bindings.
    QVERIFY(run.start());
    run.clickQuickButton(1);
    QVERIFY(waitFor([&] { return !sim.requestsWithBody("key=printing").isEmpty(); }));
    QVERIFY(run.messages().isEmpty());
}

void ProgramFolderE2eTest::installIntoAnEmptyFolderWritesOnlyTheProgramFolder() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"Velkoria フォルダ"_qs);
    QVERIFY(cmake({u"--install"_qs, kBuild, u"--prefix"_qs, folder}));
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{u"Velkoria.pdf"_qs, u"button_info.txt"_qs, u"category.txt"_qs, u"velkoria"_qs,
                          u"velkoria.desktop"_qs, u"velkoria.png"_qs}));
    QCOMPARE(fileBytes(folder + u"/button_info.txt"_qs), fileBytes(kSource + u"/data/button_info.txt"_qs));
    QVERIFY(fileBytes(folder + u"/Velkoria.pdf"_qs).startsWith("%PDF"));
    // The desktop entry points at this folder, the path quoted for its space.
    const QString entry = QString::fromUtf8(fileBytes(folder + u"/velkoria.desktop"_qs));
    QVERIFY2(entry.contains(u"\nExec=\""_qs + folder + u"/velkoria\"\n"_qs), qPrintable(entry));
    QVERIFY(entry.contains(u"\nIcon="_qs + folder + u"/velkoria.png\n"_qs));
}

void ProgramFolderE2eTest::helpWithoutPdfApplicationShowsTheManualInTheBrowser() {
    Desktop desktop; // no application for PDF files
    Simulator sim;
    QVERIFY(sim.start());
    ProgramRun run;
    run.prepare(sim);
    QVERIFY(QFile::copy(kBuild + u"/program/Velkoria.pdf"_qs, run.file(u"Velkoria.pdf"_qs)));
    QVERIFY(run.start());
    QVERIFY(!run.browserShown());
    ProgramRun::clickInWindow(run.window(), {20, 10}); // the menu bar's ヘルプ
    QVERIFY(waitFor([&] { return run.browserShown(); }));
    QString title;
    QVERIFY(waitFor(
        [&] {
            const QString browser = findWindows({u"--class"_qs, u"chromium"_qs}).value(0);
            title = runTool(u"xdotool"_qs, {u"getwindowname"_qs, browser});
            return title.contains(u"Velkoria.pdf"_qs);
        },
        10000));
    QVERIFY2(run.messages().isEmpty(), qPrintable(title));
    QVERIFY(sim.requests().isEmpty());

    // Without the manual, a message names it.
    QVERIFY(QFile::remove(run.file(u"Velkoria.pdf"_qs)));
    ProgramRun::clickInWindow(run.window(), {20, 10});
    QVERIFY(run.waitForMessages(1, 10000));
    QVERIFY2(run.messages().at(0).contains(run.file(u"Velkoria.pdf"_qs)), qPrintable(run.messages().at(0)));
    QVERIFY(run.dismissMessage());
    QVERIFY(run.running());
}

void ProgramFolderE2eTest::helpOpensTheDesktopPdfApplication() {
    Desktop desktop;
    desktop.addPdfApplication();
    Simulator sim;
    QVERIFY(sim.start());
    ProgramRun run;
    run.prepare(sim);
    QVERIFY(QFile::copy(kBuild + u"/program/Velkoria.pdf"_qs, run.file(u"Velkoria.pdf"_qs)));
    QVERIFY(run.start());
    ProgramRun::clickInWindow(run.window(), {20, 10});
    // The opener writes its log a moment after creating it.
    QVERIFY(waitFor([&] { return !fileBytes(desktop.openedLog()).trimmed().isEmpty(); }, 10000));
    QCOMPARE(fileBytes(desktop.openedLog()).trimmed(), run.file(u"Velkoria.pdf"_qs).toUtf8());
    QVERIFY(!run.browserShown());
    QVERIFY(run.messages().isEmpty());
}

QTEST_MAIN(ProgramFolderE2eTest)
#include "programfolder_e2e_test.moc"
