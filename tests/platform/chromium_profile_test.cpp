#include "platform/cdp/chromium.h"
#include "platform/errors.h"
#include "tests/support/fakes.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace velkoria;
using velkoria::test::BrowserFailure;

namespace {

// A stand-in for the browser that only leaves a mark that it was started.
class MarkingBrowser {
public:
    MarkingBrowser() {
        QFile script(path());
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\ntouch '" + QFile::encodeName(marker()) + "'\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString path() const { return m_dir.filePath(QStringLiteral("fake-browser")); }
    QString marker() const { return m_dir.filePath(QStringLiteral("started")); }
    bool started() const { return QFile::exists(marker()); }
    void reset() const { QFile::remove(marker()); }

    // Launches with this stand-in; the error it ends with (it never answers).
    BrowserFailure launch(const QString& profile) const {
        BrowserOptions settings;
        settings.executable = path();
        return test::browserErrorOf([&] { launchBrowser(settings, profile)->busy(); });
    }

private:
    QTemporaryDir m_dir;
};

bool run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class ChromiumProfileTest : public QObject {
    Q_OBJECT
private slots:
    void aFolderThatCannotBeMadeStopsTheStart();
    void aFolderThatTakesNoFilesStopsTheStart();
    void aProfileInUseByAnotherBrowserStopsTheStart();
};

void ChromiumProfileTest::aFolderThatCannotBeMadeStopsTheStart() {
    const MarkingBrowser browser;
    QTemporaryDir dir;
    {
        // A file where the folder should be.
        const QString profile = dir.filePath(QStringLiteral("browser-profile"));
        QFile(profile).open(QIODevice::WriteOnly);
        const BrowserFailure error = browser.launch(profile);
        QCOMPARE(error.kind, BrowserError::Kind::ProfileUnusable);
        QVERIFY2(error.text.contains(profile), qPrintable(error.text));
        QVERIFY2(error.text.contains(u"a file of that name is in the way"_qs), qPrintable(error.text));
        QVERIFY(!browser.started());
    }
    {
        // A file where a folder above it should be.
        const QString blocker = dir.filePath(QStringLiteral("program"));
        QFile(blocker).open(QIODevice::WriteOnly);
        const QString profile = blocker + QStringLiteral("/browser-profile");
        const BrowserFailure error = browser.launch(profile);
        QVERIFY2(error.text.contains(profile), qPrintable(error.text));
        QVERIFY2(error.text.contains(u"is a file, not a folder"_qs), qPrintable(error.text));
        QVERIFY(!browser.started());
    }
}

void ChromiumProfileTest::aFolderThatTakesNoFilesStopsTheStart() {
    const MarkingBrowser browser;
    QTemporaryDir dir;
    if (::geteuid() != 0) {
        const QString program = dir.filePath(QStringLiteral("program"));
        QDir().mkpath(program);
        QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
        const BrowserFailure error = browser.launch(program + QStringLiteral("/browser-profile"));
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(error.text.contains(u"no permission to write"_qs), qPrintable(error.text));
        QVERIFY(!browser.started());
        return;
    }
    // As root permissions do not stop a write: a read-only drive and a full one
    // do, made as small memory file systems where this machine allows it.
    const QString mountPoint = dir.filePath(QStringLiteral("drive"));
    QDir().mkpath(mountPoint);
    if (!run(QStringLiteral("mount"), {u"-t"_qs, u"tmpfs"_qs, u"-o"_qs, u"ro,size=1m"_qs, u"tmpfs"_qs, mountPoint}))
        QSKIP("no file system can be mounted here");
    {
        const auto unmount = qScopeGuard([&] { run(QStringLiteral("umount"), {mountPoint}); });
        const QString profile = mountPoint + QStringLiteral("/browser-profile");
        const BrowserFailure error = browser.launch(profile);
        QVERIFY2(error.text.contains(profile), qPrintable(error.text));
        QVERIFY2(error.text.contains(u"read-only drive"_qs), qPrintable(error.text));
        QVERIFY(!browser.started());
    }
    QVERIFY(run(QStringLiteral("mount"), {u"-t"_qs, u"tmpfs"_qs, u"-o"_qs, u"size=1m"_qs, u"tmpfs"_qs, mountPoint}));
    const auto unmount = qScopeGuard([&] { run(QStringLiteral("umount"), {mountPoint}); });
    const QString profile = mountPoint + QStringLiteral("/browser-profile");
    QDir().mkpath(profile);
    QFile filler(mountPoint + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();
    const BrowserFailure error = browser.launch(profile);
    QVERIFY2(error.text.contains(profile), qPrintable(error.text));
    QVERIFY2(error.text.contains(u"disk full"_qs), qPrintable(error.text));
    QVERIFY(!browser.started());
}

void ChromiumProfileTest::aProfileInUseByAnotherBrowserStopsTheStart() {
    const MarkingBrowser browser;
    QTemporaryDir dir;
    const QString profile = dir.filePath(QStringLiteral("browser-profile"));
    QDir().mkpath(profile);
    const QString lock = profile + QStringLiteral("/SingletonLock");

    // Another copy's browser: a live process started on this profile.
    QProcess holder;
    holder.start(QStringLiteral("sh"), {u"-c"_qs, u"sleep 30; :"_qs, u"sh"_qs, u"--user-data-dir="_qs + profile});
    QVERIFY(holder.waitForStarted());
    const auto stop = qScopeGuard([&] {
        holder.kill();
        holder.waitForFinished();
    });
    QVERIFY(QFile::link(QSysInfo::machineHostName() + u'-' + QString::number(holder.processId()), lock));
    BrowserFailure error = browser.launch(profile);
    QCOMPARE(error.kind, BrowserError::Kind::ProfileInUse);
    QVERIFY2(error.text.contains(profile), qPrintable(error.text));
    QVERIFY2(error.text.contains(u"in use by another browser"_qs), qPrintable(error.text));
    QVERIFY(!browser.started());

    // A live process that has nothing to do with the profile (its number was
    // reused after the browser was killed): the lock is left over.
    QFile::remove(lock);
    QVERIFY(
        QFile::link(QSysInfo::machineHostName() + u'-' + QString::number(QCoreApplication::applicationPid()), lock));
    error = browser.launch(profile);
    QVERIFY(browser.started());
    QVERIFY2(!error.text.contains(u"in use by another browser"_qs), qPrintable(error.text));

    // The holder has ended: the lock is left over too.
    browser.reset();
    QFile::remove(lock);
    QVERIFY(QFile::link(QSysInfo::machineHostName() + u'-' + QString::number(holder.processId()), lock));
    holder.kill();
    holder.waitForFinished();
    error = browser.launch(profile);
    QVERIFY(browser.started());
}

QTEST_GUILESS_MAIN(ChromiumProfileTest)
#include "chromium_profile_test.moc"
