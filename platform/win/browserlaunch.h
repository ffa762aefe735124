#pragma once

// Plain C++ against the Win32 API, without Qt (built and tested under Wine).

#include "platform/win/pipechannel.h"

#include <memory>
#include <string>
#include <vector>

namespace velkoria::win {

// One argument quoted for a Windows command line, so that the started program's
// C runtime (and CommandLineToArgvW) gives it back unchanged.
std::wstring quoteArgument(const std::wstring& argument);

// A browser started with its control pipes (--remote-debugging-io-pipes),
// inside a job object that ends it when the program ends in any way (also
// when it is killed). The processes the browser starts break away from that
// job: Chrome puts its sandboxed helpers in jobs of its own, which cannot nest
// in a job with UI limits (and Chrome's have them), and ends them with itself.
// The browser inherits the two pipe ends and its standard error, nothing else
// of the program.
class LaunchedBrowser {
public:
    // Starts executable with --remote-debugging-io-pipes=IN,OUT before the
    // arguments (the caller passes --remote-debugging-pipe). Returns null and
    // sets error (the system's reason) when it cannot be started.
    static std::unique_ptr<LaunchedBrowser> start(const std::wstring& executable,
                                                  const std::vector<std::wstring>& arguments, std::wstring* error);
    // Ends the browser if it still runs (closing the job object).
    ~LaunchedBrowser();
    LaunchedBrowser(const LaunchedBrowser&) = delete;
    LaunchedBrowser& operator=(const LaunchedBrowser&) = delete;

    // The program's ends of the control pipes; taken once.
    std::unique_ptr<PipeChannel> takeChannel(std::chrono::milliseconds writeLimit = std::chrono::seconds(10));
    unsigned long processId() const { return m_processId; }
    // The last few kilobytes the browser wrote to its standard error.
    std::string errorOutput() const;
    bool waitForExit(unsigned long milliseconds);
    // The browser's exit code once it has ended; false while it runs.
    bool exitCode(unsigned long* code) const;
    // Lets the browser take the foreground when it shows its window: Windows
    // lets a process do that only if the foreground process allows it, and
    // the program is that process when the user has just clicked in it.
    // False when the program itself may not (it is not in the foreground).
    bool allowForeground() const;
    // The processes in the browser's job (the browser, while it runs).
    std::vector<unsigned long> jobProcesses() const;
    // Ends the browser (and whatever is still in its job).
    void kill();

private:
    LaunchedBrowser() = default;

    struct ErrorTail;
    void* m_process = nullptr;
    void* m_job = nullptr;
    void* m_readHandle = nullptr;
    void* m_writeHandle = nullptr;
    unsigned long m_processId = 0;
    std::shared_ptr<ErrorTail> m_errorTail;
};

} // namespace velkoria::win
