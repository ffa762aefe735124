#pragma once

#include <functional>
#include <vector>

namespace velkoria {

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
