#include "platform/win/browserlaunch.h"

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cwchar>
#include <mutex>
#include <string_view>
#include <utility>

namespace velkoria::win {

namespace {

constexpr DWORD kPipeBufferBytes = 65536;
constexpr size_t kErrorTailBytes = 4096;

std::wstring systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n ? std::wstring(text, n) : std::wstring();
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message + L" (" + std::to_wstring(code) + L")";
}

// Closes what it holds unless released.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : m_h(h) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_h; }
    HANDLE* out() { return &m_h; }
    HANDLE release() { return std::exchange(m_h, nullptr); }
    void reset() {
        if (m_h && m_h != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HANDLE m_h = nullptr;
};

std::wstring handleValue(HANDLE h) {
    return std::to_wstring(reinterpret_cast<std::uintptr_t>(h));
}

// The program's environment for the browser, without __COMPAT_LAYER: set by a
// compatibility option on the program (or by its launcher), it makes Edge
// relaunch itself, and the relaunched browser does not have the pipes.
std::vector<wchar_t> browserEnvironment() {
    static const std::wstring_view kCompatLayer = L"__COMPAT_LAYER=";
    std::vector<wchar_t> block;
    if (wchar_t* strings = ::GetEnvironmentStringsW()) {
        for (const wchar_t* entry = strings; *entry; entry += std::wcslen(entry) + 1) {
            if (::_wcsnicmp(entry, kCompatLayer.data(), kCompatLayer.size()) != 0)
                block.insert(block.end(), entry, entry + std::wcslen(entry) + 1);
        }
        ::FreeEnvironmentStringsW(strings);
    }
    // An empty environment is two NULs; any other ends with one after its last entry.
    block.resize(std::max<size_t>(block.size() + 1, 2), L'\0');
    return block;
}

} // namespace

std::wstring quoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    // Backslashes are literal except before a quote: there, and before the
    // closing quote, each one is doubled.
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

struct LaunchedBrowser::ErrorTail {
    HANDLE readHandle = nullptr;
    mutable std::mutex mutex;
    std::condition_variable endedChanged;
    std::string text;
    bool ended = false;

    static DWORD WINAPI readLoop(void* parameter) {
        const auto owned = static_cast<std::shared_ptr<ErrorTail>*>(parameter);
        const std::shared_ptr<ErrorTail> tail = std::move(*owned);
        delete owned;
        char chunk[4096];
        DWORD n = 0;
        // Ends when the browser and everything it started have closed their
        // standard error.
        while (::ReadFile(tail->readHandle, chunk, sizeof chunk, &n, nullptr)) {
            std::lock_guard lock(tail->mutex);
            tail->text.append(chunk, n);
            if (tail->text.size() > kErrorTailBytes)
                tail->text.erase(0, tail->text.size() - kErrorTailBytes);
        }
        ::CloseHandle(tail->readHandle);
        {
            std::lock_guard lock(tail->mutex);
            tail->ended = true;
        }
        tail->endedChanged.notify_all();
        return 0;
    }
};

std::unique_ptr<LaunchedBrowser> LaunchedBrowser::start(const std::wstring& executable,
                                                        const std::vector<std::wstring>& arguments,
                                                        std::wstring* error) {
    const auto fail = [error](const std::wstring& what) {
        *error = what + L": " + systemMessage(::GetLastError());
        return nullptr;
    };

    // The browser reads from toBrowser and writes to fromBrowser. Every handle
    // is made uninheritable at first; only the browser's ends are then marked
    // inheritable, and the handle list below names exactly those.
    Handle toBrowserRead, toBrowserWrite, fromBrowserRead, fromBrowserWrite, errorRead, errorWrite;
    if (!::CreatePipe(toBrowserRead.out(), toBrowserWrite.out(), nullptr, kPipeBufferBytes) ||
        !::CreatePipe(fromBrowserRead.out(), fromBrowserWrite.out(), nullptr, kPipeBufferBytes) ||
        !::CreatePipe(errorRead.out(), errorWrite.out(), nullptr, 0))
        return fail(L"CreatePipe");
    HANDLE inherited[] = {toBrowserRead.get(), fromBrowserWrite.get(), errorWrite.get()};
    for (HANDLE h : inherited)
        if (!::SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT))
            return fail(L"SetHandleInformation");

    SIZE_T listBytes = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &listBytes);
    std::vector<char> listMemory(listBytes);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listMemory.data());
    if (!::InitializeProcThreadAttributeList(list, 1, 0, &listBytes))
        return fail(L"InitializeProcThreadAttributeList");
    struct ListGuard {
        LPPROC_THREAD_ATTRIBUTE_LIST list;
        ~ListGuard() { ::DeleteProcThreadAttributeList(list); }
    } listGuard{list};
    if (!::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited, nullptr,
                                     nullptr))
        return fail(L"UpdateProcThreadAttribute");

    // Kill-on-close: the job's last handle is the program's own, closed by the
    // system when the program ends, however it ends. What the browser starts
    // leaves the job silently: on Windows 8 and later Chrome assigns its
    // sandboxed helpers to jobs of its own with UI limits, which cannot nest
    // in this one (the assignment fails with access denied and no page
    // loads). Chrome ends those helpers when it ends itself.
    Handle job(::CreateJobObjectW(nullptr, nullptr));
    if (!job.get())
        return fail(L"CreateJobObject");
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
    if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits))
        return fail(L"SetInformationJobObject");

    std::wstring commandLine = quoteArgument(executable) + L" --remote-debugging-io-pipes=" +
                               handleValue(toBrowserRead.get()) + L',' + handleValue(fromBrowserWrite.get());
    for (const std::wstring& argument : arguments)
        commandLine += L' ' + quoteArgument(argument);

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = nullptr;
    startup.StartupInfo.hStdOutput = nullptr;
    startup.StartupInfo.hStdError = errorWrite.get();
    startup.lpAttributeList = list;
    PROCESS_INFORMATION process{};
    // Suspended until it is in the job, so that nothing it starts escapes it.
    std::vector<wchar_t> environment = browserEnvironment();
    if (!::CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                          EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT,
                          environment.data(), nullptr, &startup.StartupInfo, &process))
        return fail(L"CreateProcess");
    Handle processHandle(process.hProcess);
    Handle threadHandle(process.hThread);
    if (!::AssignProcessToJobObject(job.get(), process.hProcess)) {
        // Only where the program itself runs in a job that forbids nesting
        // (before Windows 8); the browser then ends only when closed normally.
        job.reset();
    }
    ::ResumeThread(process.hThread);

    std::unique_ptr<LaunchedBrowser> browser(new LaunchedBrowser);
    browser->m_process = processHandle.release();
    browser->m_job = job.release();
    browser->m_processId = process.dwProcessId;
    browser->m_readHandle = fromBrowserRead.release();
    browser->m_writeHandle = toBrowserWrite.release();
    // The browser's ends belong to the browser alone: with a copy kept here
    // the pipes would never report its end.
    toBrowserRead.reset();
    fromBrowserWrite.reset();
    errorWrite.reset();

    browser->m_errorTail = std::make_shared<ErrorTail>();
    browser->m_errorTail->readHandle = errorRead.release();
    auto* parameter = new std::shared_ptr<ErrorTail>(browser->m_errorTail);
    if (HANDLE thread = ::CreateThread(nullptr, 0, &ErrorTail::readLoop, parameter, 0, nullptr)) {
        ::CloseHandle(thread);
    } else {
        delete parameter;
        ::CloseHandle(browser->m_errorTail->readHandle);
        browser->m_errorTail->ended = true;
    }
    return browser;
}

LaunchedBrowser::~LaunchedBrowser() {
    kill();
    if (m_job)
        ::CloseHandle(m_job);
    if (m_process)
        ::CloseHandle(m_process);
    if (m_readHandle)
        ::CloseHandle(m_readHandle);
    if (m_writeHandle)
        ::CloseHandle(m_writeHandle);
}

std::unique_ptr<PipeChannel> LaunchedBrowser::takeChannel(std::chrono::milliseconds writeLimit) {
    if (!m_readHandle)
        return nullptr;
    auto channel = std::make_unique<PipeChannel>(m_readHandle, m_writeHandle, writeLimit);
    m_readHandle = m_writeHandle = nullptr;
    return channel;
}

std::string LaunchedBrowser::errorOutput() const {
    if (!m_errorTail)
        return {};
    std::unique_lock lock(m_errorTail->mutex);
    // Once the browser has ended, what it wrote last may still be on its way.
    if (::WaitForSingleObject(m_process, 0) == WAIT_OBJECT_0)
        m_errorTail->endedChanged.wait_for(lock, std::chrono::milliseconds(500), [this] { return m_errorTail->ended; });
    return m_errorTail->text;
}

bool LaunchedBrowser::waitForExit(unsigned long milliseconds) {
    return ::WaitForSingleObject(m_process, milliseconds) == WAIT_OBJECT_0;
}

bool LaunchedBrowser::exitCode(unsigned long* code) const {
    DWORD value = 0;
    if (::WaitForSingleObject(m_process, 0) != WAIT_OBJECT_0 || !::GetExitCodeProcess(m_process, &value))
        return false;
    *code = value;
    return true;
}

bool LaunchedBrowser::allowForeground() const {
    return ::AllowSetForegroundWindow(m_processId);
}

std::vector<unsigned long> LaunchedBrowser::jobProcesses() const {
    if (!m_job)
        return {};
    // The list's header and room for a few processes; a job with more asks again.
    for (DWORD room = 16;; room *= 4) {
        std::vector<char> memory(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + room * sizeof(ULONG_PTR));
        auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(memory.data());
        if (::QueryInformationJobObject(m_job, JobObjectBasicProcessIdList, list, DWORD(memory.size()), nullptr) ||
            ::GetLastError() == ERROR_MORE_DATA) {
            if (list->NumberOfAssignedProcesses > list->NumberOfProcessIdsInList)
                continue;
            return std::vector<unsigned long>(list->ProcessIdList,
                                              list->ProcessIdList + list->NumberOfProcessIdsInList);
        }
        return {};
    }
}

void LaunchedBrowser::kill() {
    if (m_job)
        ::TerminateJobObject(m_job, 1);
    else if (::WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT)
        ::TerminateProcess(m_process, 1);
}

} // namespace velkoria::win
