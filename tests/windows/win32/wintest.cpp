// The Windows-only pieces of the platform layer, run under Wine: the browser's
// pipes and launch (against fakebrowser.exe) and code page 932. Each command
// line names one group of checks; the exit code is the number of failures.

#include "platform/win/browserlaunch.h"
#include "platform/win/cp932.h"
#include "platform/win/owneronly.h"
#include "tests/windows/accesslist.h"
#include "tests/windows/cp932cases.h"
#include "tests/windows/win32/check.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

using namespace velkoria;
using namespace velkoria::win;
using velkoria::wintest::accessListsKept;
using velkoria::wintest::userAlone;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::wstring folderOfThisProgram() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

std::wstring fakeBrowser() {
    return folderOfThisProgram() + L"fakebrowser.exe";
}

std::unique_ptr<LaunchedBrowser> launch(std::vector<std::wstring> arguments = {}, std::wstring executable = {}) {
    arguments.insert(arguments.begin(), L"--remote-debugging-pipe");
    std::wstring error;
    auto browser = LaunchedBrowser::start(executable.empty() ? fakeBrowser() : executable, arguments, &error);
    if (!CHECK(browser))
        std::printf("launch failed: %ls\n", error.c_str());
    return browser;
}

std::string call(PipeChannel& channel, int id, const std::string& method, const std::string& params = {}) {
    std::string message = "{\"id\":" + std::to_string(id) + ",\"method\":\"" + method + "\"";
    if (!params.empty())
        message += ",\"params\":" + params;
    message += "}";
    if (!CHECK(channel.write(message)))
        return {};
    std::string reply;
    if (!CHECK(channel.read(reply, Clock::now() + 20s) == PipeChannel::ReadResult::Message))
        return {};
    return reply;
}

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Only the two pipe ends (and standard error) reach the browser; the command
// line survives quoting, also with a non-ASCII folder and spaces.
void handles() {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE otherRead = nullptr;
    HANDLE otherWrite = nullptr;
    CHECK(::CreatePipe(&otherRead, &otherWrite, &inheritable, 0));

    // The executable itself in a folder like C:\Users\山田\...
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"velkoria 山田";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring executable = folder + L"\\fake browser.exe";
    CHECK(::CopyFileW(fakeBrowser().c_str(), executable.c_str(), FALSE));

    const std::wstring profile = L"--user-data-dir=C:\\Users\\山田 太郎\\Velkoria\\browser-profile";
    const std::wstring tricky = L"a \"quoted\" \\\"back\\slash\\\\";
    auto browser = launch({profile, tricky, L"",
                           L"--check-not-inherited=" + std::to_wstring(reinterpret_cast<std::uintptr_t>(otherWrite))},
                          executable);
    if (!browser)
        return;
    auto channel = browser->takeChannel();
    CHECK(call(*channel, 1, "Browser.getVersion") == R"({"id":1,"result":{"product":"FakeBrowser/1.0"}})");
    CHECK(call(*channel, 2, "Test.inherited") == R"({"id":2,"result":{"open":false}})");
    DWORD waiting = 1;
    CHECK(::PeekNamedPipe(otherRead, nullptr, 0, nullptr, &waiting, nullptr) && waiting == 0);

    const std::string arguments = call(*channel, 3, "Test.arguments");
    const std::string profileUtf8 = "--user-data-dir=C:\\\\Users\\\\\xE5\xB1\xB1\xE7\x94\xB0 \xE5\xA4\xAA\xE9\x83\x8E"
                                    "\\\\Velkoria\\\\browser-profile";
    CHECK(arguments.find(profileUtf8 + "\\n") != std::string::npos);
    CHECK(arguments.find(R"(\na \"quoted\" \\\"back\\slash\\\\\n\n--check)") != std::string::npos);
    if (arguments.find(profileUtf8) == std::string::npos)
        std::printf("arguments: %s\n", arguments.c_str());
    channel->close();
    CHECK(browser->waitForExit(10000)); // the browser ends when its input ends
    ::CloseHandle(otherRead);
    ::CloseHandle(otherWrite);
}

// Small and 1 MiB messages both ways, several in a row, none cut or merged.
void messages() {
    auto browser = launch();
    if (!browser)
        return;
    auto channel = browser->takeChannel();
    const std::string big(1 << 20, 'x');
    for (int round = 0; round < 2; ++round) {
        const Clock::time_point start = Clock::now();
        const std::string small = "{\"id\":1,\"method\":\"Test.echo\"}";
        const std::string large = "{\"id\":2,\"method\":\"Test.echo\",\"params\":{\"text\":\"" + big + "\"}}";
        CHECK(channel->write(small));
        CHECK(channel->write(large));
        CHECK(channel->write(small));
        std::string reply;
        CHECK(channel->read(reply, Clock::now() + 20s) == PipeChannel::ReadResult::Message &&
              reply == "{\"id\":1,\"result\":" + small + "}");
        CHECK(channel->read(reply, Clock::now() + 20s) == PipeChannel::ReadResult::Message &&
              reply == "{\"id\":2,\"result\":" + large + "}");
        CHECK(channel->read(reply, Clock::now() + 20s) == PipeChannel::ReadResult::Message &&
              reply == "{\"id\":1,\"result\":" + small + "}");
        std::printf("1 MiB and two small messages there and back: %lld ms\n", msSince(start));
    }
}

// A read waits for its deadline and no longer; an expired deadline only takes
// what has arrived; the arrival handler sees each answer.
void deadline() {
    auto browser = launch();
    if (!browser)
        return;
    auto channel = browser->takeChannel();
    std::atomic<int> arrivals{0};
    channel->setArrivalHandler([&] { ++arrivals; });
    std::string reply;
    Clock::time_point start = Clock::now();
    CHECK(channel->read(reply, start + 500ms) == PipeChannel::ReadResult::Timeout);
    const long long waited = msSince(start);
    CHECK(waited >= 490 && waited < 3000);
    start = Clock::now();
    CHECK(channel->read(reply, start) == PipeChannel::ReadResult::Timeout);
    CHECK(msSince(start) < 1000);

    CHECK(channel->write("{\"id\":7,\"method\":\"Browser.getVersion\"}"));
    for (int i = 0; i < 200 && arrivals == 0; ++i)
        ::Sleep(50);
    CHECK(arrivals == 1);
    CHECK(channel->readable());
    CHECK(channel->read(reply, Clock::now()) == PipeChannel::ReadResult::Message);
    CHECK(!channel->readable());
}

// The browser gone, however it goes: every waiting read and every later call
// fails at once, not at its deadline.
void gone() {
    for (const char* how : {"closeOutput", "exit", "kill"}) {
        std::printf("browser gone by %s\n", how);
        auto browser = launch();
        if (!browser)
            return;
        auto channel = browser->takeChannel();
        std::atomic<int> closed{0};
        const Clock::time_point start = Clock::now();
        auto waiter = [&] {
            std::string reply;
            if (channel->read(reply, Clock::now() + 30s) == PipeChannel::ReadResult::Closed)
                ++closed;
        };
        std::thread first(waiter);
        std::thread second(waiter);
        ::Sleep(200);
        if (std::string(how) == "kill")
            browser->kill();
        else
            CHECK(channel->write(std::string("{\"id\":1,\"method\":\"Test.") + how + "\"}"));
        first.join();
        second.join();
        CHECK(closed == 2);
        CHECK(msSince(start) < 10000);
        std::string reply;
        CHECK(channel->read(reply, Clock::now() + 30s) == PipeChannel::ReadResult::Closed);
        if (std::string(how) == "exit") {
            CHECK(browser->waitForExit(5000));
            // The browser's own words go with a failed launch.
            CHECK(browser->errorOutput().find("fake browser: told to exit") != std::string::npos);
            CHECK(!channel->write("{}"));
        }
    }
    // The browser closed its input: writing fails at once, not at the write limit.
    auto browser = launch();
    if (!browser)
        return;
    auto channel = browser->takeChannel(30s);
    CHECK(channel->write("{\"id\":1,\"method\":\"Test.closeInput\"}"));
    ::Sleep(500);
    const Clock::time_point start = Clock::now();
    const std::string big(1 << 20, 'y');
    CHECK(!channel->write(big));
    CHECK(msSince(start) < 5000);
}

// A browser that stopped reading: the write gives up at its limit.
void stall() {
    auto browser = launch();
    if (!browser)
        return;
    auto channel = browser->takeChannel(1s);
    CHECK(channel->write("{\"id\":1,\"method\":\"Test.stall\"}"));
    const std::string big(1 << 20, 'z');
    const Clock::time_point start = Clock::now();
    bool failed = false;
    for (int i = 0; i < 3 && !failed; ++i)
        failed = !channel->write(big);
    CHECK(failed);
    const long long waited = msSince(start);
    CHECK(waited >= 900 && waited < 6000);
    std::printf("write to a stalled browser failed after %lld ms\n", waited);
    CHECK(!channel->write("{}"));
}

// The program killed: the job object takes the browser with it.
int launcherChild() {
    auto browser = launch();
    if (!browser)
        return 1;
    std::printf("%lu\n", browser->processId());
    std::fflush(stdout);
    ::Sleep(60000);
    return 0;
}

void killedParent() {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE outRead = nullptr;
    HANDLE outWrite = nullptr;
    CHECK(::CreatePipe(&outRead, &outWrite, &inheritable, 0));
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" launcher";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = outWrite;
    PROCESS_INFORMATION launcher{};
    if (!CHECK(::CreateProcessW(self, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                &launcher)))
        return;
    ::CloseHandle(outWrite);
    std::string line;
    char c;
    DWORD n = 0;
    while (line.find('\n') == std::string::npos && ::ReadFile(outRead, &c, 1, &n, nullptr) && n == 1)
        line += c;
    const unsigned long browserId = std::strtoul(line.c_str(), nullptr, 10);
    HANDLE browser = browserId ? ::OpenProcess(SYNCHRONIZE, FALSE, browserId) : nullptr;
    if (!CHECK(browser)) {
        std::printf("launcher said: %s\n", line.c_str());
        ::TerminateProcess(launcher.hProcess, 1);
        return;
    }
    CHECK(::WaitForSingleObject(browser, 500) == WAIT_TIMEOUT); // it runs while the launcher runs
    ::TerminateProcess(launcher.hProcess, 9);
    CHECK(::WaitForSingleObject(browser, 10000) == WAIT_OBJECT_0);
    ::CloseHandle(browser);
    ::CloseHandle(outRead);
    ::CloseHandle(launcher.hProcess);
    ::CloseHandle(launcher.hThread);
}

std::string hex(std::string_view bytes) {
    std::string out;
    char two[4];
    for (const char b : bytes) {
        std::snprintf(two, sizeof two, "%02X ", unsigned(static_cast<unsigned char>(b)));
        out += two;
    }
    return out;
}

void cp932() {
    using test::Cp932Case;
    for (const Cp932Case& c : test::cp932Cases) {
        std::string bytes;
        std::u16string text;
        const int before = wintest::failures;
        switch (c.kind) {
        case Cp932Case::Both:
            CHECK(encodeCp932(c.text, bytes) && bytes == c.bytes);
            CHECK(decodeCp932(c.bytes, text) && text == c.text);
            break;
        case Cp932Case::EncodesTo:
            CHECK(encodeCp932(c.text, bytes) && bytes == c.bytes);
            break;
        case Cp932Case::DecodesTo:
            CHECK(decodeCp932(c.bytes, text) && text == c.text);
            break;
        case Cp932Case::Unencodable:
            CHECK(!encodeCp932(c.text, bytes));
            break;
        case Cp932Case::Undecodable:
            CHECK(!decodeCp932(c.bytes, text));
            break;
        }
        if (wintest::failures != before)
            std::printf("  in case \"%s\" (encoded: %s)\n", c.name, hex(bytes).c_str());
    }
}

// The whole content of a file, or "(unreadable)".
std::string contents(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "(unreadable)";
    std::string bytes(4096, '\0');
    DWORD n = 0;
    ::ReadFile(file, bytes.data(), DWORD(bytes.size()), &n, nullptr);
    ::CloseHandle(file);
    return bytes.substr(0, n);
}

// Whole-file writes: the account file as a file of the running user alone
// (the access list is checked where the system keeps one; Wine keeps none).
// Held open by another program the file cannot be replaced: the write fails
// at its move with the system's reason, the old file stays and no temporary
// file is left. Held a moment only (a virus scanner), the write waits for it.
void files() {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"velkoria account 山田\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"zandorp_id.txt";
    CHECK(writeFileWhole(path, "old\r\n", true, nullptr));
    CHECK(writeFileWhole(path, "id\r\npw\r\n", true, nullptr));
    CHECK(contents(path) == "id\r\npw\r\n");
    if (accessListsKept())
        CHECK(userAlone(path));
    else
        std::printf("Wine keeps no access lists: the account file's list is not checked\n");

    const auto hold = [&] {
        return ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    };
    HANDLE held = hold();
    CHECK(held != INVALID_HANDLE_VALUE);
    WriteFailure failure;
    CHECK(!writeFileWhole(path, "new\r\n", true, &failure) && failure.step == WriteStep::Replace &&
          !failure.reason.empty());
    ::CloseHandle(held);
    CHECK(contents(path) == "id\r\npw\r\n");
    CHECK(!writeFileWhole(folder + L"missing\\zandorp_id.txt", "x", true, &failure) &&
          failure.step == WriteStep::Create);

    for (const bool ownerOnly : {true, false}) {
        held = hold();
        std::thread scanner([held] {
            ::Sleep(200);
            ::CloseHandle(held);
        });
        const std::string bytes = ownerOnly ? "after a scan\r\n" : "after another scan\r\n";
        CHECK(writeFileWhole(path, bytes, ownerOnly, &failure));
        scanner.join();
        CHECK(contents(path) == bytes);
    }

    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + L"*.tmp").c_str(), &found);
    CHECK(search == INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE)
        ::FindClose(search);
    ::DeleteFileW(path.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

// The browser is in the program's job; what it starts leaves the job (Chrome
// puts its helpers in jobs of its own).
void job() {
    auto browser = launch();
    if (!browser)
        return;
    auto channel = browser->takeChannel();
    const std::string reply = call(*channel, 1, "Test.spawn");
    const unsigned long helper = std::strtoul(reply.substr(reply.find("\"processId\":") + 12).c_str(), nullptr, 10);
    if (!CHECK(helper != 0))
        std::printf("spawn: %s\n", reply.c_str());
    const std::vector<unsigned long> inJob = browser->jobProcesses();
    CHECK(std::find(inJob.begin(), inJob.end(), browser->processId()) != inJob.end());
    CHECK(std::find(inJob.begin(), inJob.end(), helper) == inJob.end());
    if (HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, helper)) {
        ::TerminateProcess(process, 0);
        ::CloseHandle(process);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring what = argc > 1 ? argv[1] : L"";
    if (what == L"launcher")
        return launcherChild();
    if (what == L"handles")
        handles();
    else if (what == L"messages")
        messages();
    else if (what == L"deadline")
        deadline();
    else if (what == L"gone")
        gone();
    else if (what == L"stall")
        stall();
    else if (what == L"killed-parent")
        killedParent();
    else if (what == L"cp932")
        cp932();
    else if (what == L"files")
        files();
    else if (what == L"job")
        job();
    else if (what != L"ready")
        CHECK(!"unknown test group");
    std::printf("%d failure(s)\n", wintest::failures);
    return wintest::failures;
}
