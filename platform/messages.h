#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class QFont;
class QIcon;

namespace velkoria {

// Modal message boxes: OK button only, no icon, captioned "Velkoria", the text
// shown as it is (never read as markup).
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Shows the text and returns when the user has dismissed the box.
    virtual void show(const QString& text) = 0;
};

class QtMessageSink : public MessageSink {
public:
    void show(const QString& text) override;
    // The window a box opens above while that window is on screen (not
    // minimised): a box never hides behind the program's own windows.
    void setOwner(QWidget* owner) { m_owner = owner; }

private:
    QPointer<QWidget> m_owner;
};

// The caption of every window and message box of the program.
inline QString programTitle() {
    return QStringLiteral("Velkoria");
}

// The icon of every window of the program and of its tray icon: each size
// drawn for itself (16 to 256 pixels), so that it is sharp at any scaling.
// Empty where the program's resources are not linked in (unit tests).
QIcon programIcon();

// The message shown when the browser has gone away; the program ends when the
// user has dismissed it.
inline QString closedBrowserMessage() {
    return QStringLiteral("インターネットエクスプローラが終了しています。Velkoriaを終了します");
}

// The font the windows were designed with: ＭＳ Ｐゴシック where Windows has it,
// else IPA P Gothic, which has the same metrics, so that captions fit their
// controls as designed; Noto Sans CJK only when neither is installed. Latin
// letters come from the same font.
QFont designFont(qreal points = 9, bool bold = false);

// Ends the process at once: no further event of any window runs and nothing is saved.
class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    [[noreturn]] virtual void endNow(int exitCode) = 0;

    // The ending has begun: the box that ends the program is up. From then on
    // no event handler runs (runHandler refuses them all).
    bool ending() const { return m_ending; }
    // Marks the program as ending with exitCode and runs the hooks given to
    // onEnding, once.
    void beginEnding(int exitCode);
    // The exit code the ending began with (0 before it began).
    int endingExitCode() const { return m_exitCode; }
    // Something to stop when the ending begins, such as a window's timers.
    void onEnding(std::function<void()> hook);
    // Something to finish on the way out, once the windows are gone, such as
    // closing the browser and giving it its moment to end.
    void onExit(std::function<void()> hook);

protected:
    void runExitHooks();

private:
    bool m_ending = false;
    int m_exitCode = 0;
    std::vector<std::function<void()>> m_hooks;
    std::vector<std::function<void()>> m_exitHooks;
};

// Hides every window and tray icon at once, runs the exit hooks, then ends
// the process.
class ProcessEnd : public ProgramEnd {
public:
    [[noreturn]] void endNow(int exitCode) override;
};

} // namespace velkoria
