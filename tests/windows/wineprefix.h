#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace velkoria::test {

// Windows programs under Wine, in a Wine prefix of their own: a temporary
// folder made at the first run (several seconds) and removed with this object,
// after everything Wine started in it has been ended.
//
// Wine hands the Linux environment to Windows programs, except variables whose
// names start with QT_ (Wine keeps those for itself). They are passed as
// WINEQT_..., which Wine hands on as QT_..., so QT_QPA_PLATFORM and the like
// reach the program. QT_FORCE_STDERR_LOGGING=1 is set too: without a console,
// Qt Test on Windows writes its results where only a debugger sees them.
class WinePrefix {
public:
    WinePrefix();
    ~WinePrefix();
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    // The environment Windows programs get: the test's own, with the prefix.
    QProcessEnvironment environment() const;
    void setEnvironment(const QString& name, const QString& value) { m_extra.insert(name, value); }
    // Starts a Windows program (a Linux path or a Windows one) in process.
    void start(QProcess& process, const QString& program, const QStringList& arguments = {}) const;

    struct Result {
        bool finished = false; // false: it was still running at the limit and was ended
        int exitCode = -1;
        QString output; // standard output and error together
    };
    // Runs a Windows program to its end, within the limit.
    Result run(const QString& program, const QStringList& arguments, int limitMs) const;
    // Makes the prefix with a first run of cmd. Wine has once ended that run
    // at once with 53 (STATUS_DLL_NOT_FOUND's low byte) in CI, so a failed run
    // is tried again after its server is ended, at most three times. An empty
    // answer: the prefix is made; otherwise what each failed run printed.
    QString make() const;
    // Waits until every program of the prefix has ended (an installer's
    // children, say), at most limitMs; false when some still run.
    bool waitForAll(int limitMs) const;
    // Ends every program of the prefix.
    void endAll() const;

    // Where a Linux path is seen from Windows: drive C: inside the prefix,
    // drive Z: elsewhere.
    QString windowsPath(const QString& linuxPath) const;
    // The Linux path of a folder of the prefix's user, for instance
    // "AppData/Local" (where %LOCALAPPDATA% lies).
    QString userFolder(const QString& relative) const;

private:
    bool server(const QString& option, int limitMs) const;

    QTemporaryDir m_dir;
    QProcessEnvironment m_extra;
};

} // namespace velkoria::test
