#pragma once

#include <QString>
#include <exception>
#include <memory>

namespace velkoria {

// Every failure of the DevTools client and of the browser's start. Its text
// (what()) is English and names the command, as "Protocol error
// (Page.navigate): Cannot navigate to invalid URL [-32000]"; the texts the user
// sees are made from its kind and fields where errors become boxes (app/).
class BrowserError : public std::exception {
public:
    enum class Kind {
        Gone,            // the browser ended: closed by the user, or crashed
        NoAnswer,        // command: no answer within its limit
        Refused,         // command, message, code: the browser's error reply
        ScriptFailed,    // command, message: the script run in the page threw
        NoPage,          // the page's session never answered
        NotFound,        // path: the browser named in the settings; empty: none installed
        CannotRun,       // path, message: its process or its pipes could not be made
        ProfileUnusable, // path: the profile folder; problem (and problemPath)
        ProfileInUse,    // path: the profile folder; process: its holder, 0 when unknown
        StartFailed,     // path: the executable; stage, cause, exitCode, message (its error output)
    };
    // Why the profile folder takes no files.
    enum class Problem { None, FileInTheWay, NotAFolder, ReadOnlyDrive, DiskFull, NoPermission, NotWritable };
    // Where a start that got as far as the browser's process failed.
    enum class Stage { None, NoPage, NoAnswer, EndedAtOnce };

    explicit BrowserError(Kind kind);
    Kind kind() const { return m_kind; }
    const char* what() const noexcept override { return m_what.constData(); }

    QString command;
    QString message;
    qint64 code = 0;
    QString path;
    Problem problem = Problem::None;
    QString problemPath;
    qint64 process = 0;
    Stage stage = Stage::None;
    int seconds = 0;
    qint64 exitCode = -1; // -1: not known (not ended, or not asked for)
    std::shared_ptr<const BrowserError> cause;

    // what() from the fields; called by the factories once they are set.
    void describe();

private:
    Kind m_kind;
    QByteArray m_what;
};

// The browser no longer exists: the user closed its window, or it crashed.
// The browser connection raises it where it learns so (the pipe's end, a
// failed write, the page's end), and every browser call throws it from then
// on. Only the program's error boundary catches it: the closed-browser
// message, then the end of the program. Code on the way catches
// BrowserCommandError at most, which lets it pass.
class BrowserGoneError : public BrowserError {
public:
    BrowserGoneError();
};

// The browser is there but refused a command, did not answer it in time, or
// the page's script failed. The callers that can go on without the answer (a
// page that did not load counts as such) catch this one.
class BrowserCommandError : public BrowserError {
public:
    BrowserCommandError(Kind kind, const QString& command, const QString& message = {}, qint64 code = 0);
};

// No browser could be started: none found, a profile folder it cannot use,
// or a process that ended or said nothing.
class BrowserStartError : public BrowserError {
public:
    explicit BrowserStartError(Kind kind, const QString& path = {});
};

} // namespace velkoria
