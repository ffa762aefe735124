#pragma once

#include "tests/support/tempfolder.h"

#include <QJsonObject>
#include <QList>
#include <QPoint>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <functional>

namespace velkoria::test {

// The build folder's programs, for tests that run them for real.
QString builtProgram();   // <build>/program/velkoria
QString builtSimulator(); // <build>/market-sim

// Runs a command and returns its standard output (trimmed); empty on failure.
QString runTool(const QString& program, const QStringList& args, int timeoutMs = 10000);
// Polls condition every 100 ms until it holds (true) or the time is up (false).
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 20000);
// The windows on the display that xdotool's search finds with all of these
// options (--pid, --name, --class, ...), by default shown ones only.
QStringList findWindows(const QStringList& options, bool shownOnly = true);
// The program's message boxes among the shown windows that the search options
// find: titled like the main window, which may be up behind them, but shorter.
QStringList messageBoxes(const QStringList& options = {});

// The marketplace simulator on loopback, its requests logged.
class Simulator {
public:
    ~Simulator();
    // Starts it with args, by default with the category file of the
    // installation data; false when it did not report READY in time.
    bool start(const QStringList& args = {});
    // Sends one stdin command and returns its answer line ("OK ..." / "ERR ...").
    QString command(const QString& line);
    // Every request received so far, in order.
    QList<QJsonObject> requests() const;
    // The requests whose body contains text, in order.
    QList<QJsonObject> requestsWithBody(const QByteArray& text) const;
    // A URL of its plain HTTP side.
    QUrl url(const QString& path = QStringLiteral("/")) const;
    QProcess& process() { return m_process; }

    int httpPort = 0;
    int httpsPort = 0;
    QString spki;

private:
    QString readLine(int timeoutMs);

    QProcess m_process;
    QTemporaryDir m_dir;
};

// The built program run in a temp program folder on the test's display, with
// the real browser, talking to a simulator. The control centres are those of
// the main window's design (client area coordinates, in pixels).
class ProgramRun {
public:
    ProgramRun();
    ~ProgramRun();

    QString folder() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.path() + u'/' + name; }
    // Copies the installation data and writes velkoria.ini for the simulator.
    void prepare(const Simulator& sim, int loadTimeoutSeconds = 20);
    // Starts the program; false unless its main window is up within the limit.
    // The browser comes up after the window and its window is on the screen,
    // over the main window, until it is minimized: unless early, start() also
    // waits for that (within the limit), so that a click lands on the program.
    bool start(int timeoutMs = 30000, bool early = false);
    // start() has this start the process in place of velkoria (velkoria.exe
    // under Wine, say), with an environment of its own.
    void setStarter(std::function<void(QProcess&)> starter) { m_starter = std::move(starter); }
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    qint64 processId() const { return m_process.processId(); }
    // Waits for the program to end; returns its exit code, or -1 if it is still running.
    int waitForEnd(int timeoutMs);

    // The main window's X window and the top-left of its client area on screen.
    QString window() const { return m_window; }
    QPoint clientOrigin() const;
    // Clicks a point of the main window's client area.
    void clickClient(QPoint point);
    void clickQuickButton(int n);
    void clickMyBusiness();
    void clickScanLabel();
    void clickEdit();
    void typeText(const QString& text);
    void key(const QString& keys);

    // A visible window of the program whose title matches the pattern, waiting
    // for it up to the limit; empty if none came.
    QString waitForWindow(const QString& titlePattern, int timeoutMs = 10000) const;
    // The program's shown windows whose title matches the pattern.
    QStringList windows(const QString& titlePattern) const;
    // The top-left of a window's client area on screen.
    static QPoint windowOrigin(const QString& window);
    // Brings the window to the front and clicks a point of its client area.
    static void clickInWindow(const QString& window, QPoint point);
    // Closes a message box as a user would: a click on it, then Enter.
    static void closeBox(const QString& box);

    // Saves a picture of the whole display (for looking at a failure).
    static void screenshot(const QString& path);

    // Texts of the message boxes shown so far.
    QStringList messages() const;
    // Waits until at least count boxes have been shown.
    bool waitForMessages(int count, int timeoutMs);
    // Presses Enter on the open message box (found by its title).
    bool dismissMessage();
    // One scan through the scan label: every box of the run is dismissed, and
    // their texts are returned once the run has rewritten the seen-request
    // file (with "(unfinished)" last if it did not within 90 s).
    QStringList scan();

    // The browser's windows that are mapped (shown) on the display.
    bool browserShown() const;

    QByteArray processOutput();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_window;
    std::function<void(QProcess&)> m_starter;
};

} // namespace velkoria::test
