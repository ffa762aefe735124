// A stand-in for Chrome's --remote-debugging-io-pipes end, for tests under Wine.
// Reads NUL-separated messages from IN and answers on OUT.
//
// The calls the program makes, enough for it to run against this browser: the
// version, one page target and its flat session (Target.*), the window's
// state (Browser.getWindowForTarget / setWindowBounds), navigation with its
// events (frame started loading, lifecycle init / DOMContentLoaded / load of
// the navigation's loaderId, frame stopped loading), interception of the
// document request (Fetch.enable: Fetch.requestPaused, answered by
// Fetch.continueRequest with the body to POST) and reading the page
// (Runtime.evaluate: the page's markup held, then Runtime.callFunctionOn: all
// of it as the first piece; a promise is answered true).
//
// Test calls of the Windows pieces' own tests:
//   Test.echo           -> {"id":N,"result":<the whole message>}
//   Test.arguments      -> its command line arguments, one per line
//   Test.inherited      -> whether the handle given by --check-not-inherited is open here
//   Test.stall          -> stops reading (stays alive)
//   Test.exit           -> writes a line to standard error and exits with code 3
//   Test.closeOutput    -> closes OUT, keeps running
//   Test.closeInput     -> closes IN, keeps running
//   Test.spawn          -> starts a helper process (a copy of itself that
//                          waits a minute) and answers its process ID
//
// With FAKEBROWSER_DIR set (a folder), for tests of the whole program:
//   started.txt     written at start: the arguments, one per line, then
//                   "__COMPAT_LAYER=..." when that variable is set
//   received.log    every message received, one per line
//   start-error.txt when present, its bytes go to standard error and the
//                   browser exits with code 1 at once
//   start-delay.txt when present, the browser reads nothing for that many
//                   milliseconds after its start (a slow first start)
//   page-KEY.html   the markup of a page whose POSTed body has key=KEY
//                   (UTF-8, as the program's serializer writes it); page.html
//                   for any other page
//   exit, close-output, stall
//                   created by the test: exit at once, close OUT, stop
//                   answering (the files are looked for every 50 ms)
//   ended           written when IN has ended or Browser.close came, after a
//                   second of "shutdown work" (a browser writing its profile)
// It ends when IN ends.

#include <windows.h>

#include <wincrypt.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

HANDLE g_in = nullptr;
HANDLE g_out = nullptr;
HANDLE g_notInherited = nullptr;
std::wstring g_folder; // FAKEBROWSER_DIR, with a trailing backslash; empty without it
volatile LONG g_stalled = 0;

constexpr DWORD kShutdownWorkMs = 1000;
constexpr DWORD kControlPollMs = 50;

std::string utf8(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + '"';
}

// False when the program has closed its end.
bool trySend(const std::string& message) {
    if (!g_out)
        return true; // closed on the test's request
    std::string data = message;
    data.push_back('\0');
    size_t done = 0;
    while (done < data.size()) {
        DWORD n = 0;
        if (!::WriteFile(g_out, data.data() + done, DWORD(data.size() - done), &n, nullptr))
            return false;
        done += n;
    }
    return true;
}

void send(const std::string& message) {
    if (!trySend(message))
        ::ExitProcess(4);
}

// The value of the first "name": in the message (the program's messages have
// the names this browser looks for once each).
std::string field(const std::string& message, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    size_t at = message.find(key);
    if (at == std::string::npos)
        return {};
    at += key.size();
    if (message[at] == '"') {
        const size_t end = message.find('"', at + 1);
        return message.substr(at + 1, end - at - 1);
    }
    const size_t end = message.find_first_of(",}", at);
    return message.substr(at, end - at);
}

bool otherHandleOpen() {
    DWORD flags = 0;
    DWORD written = 0;
    return g_notInherited && ::GetHandleInformation(g_notInherited, &flags) &&
           ::GetFileType(g_notInherited) == FILE_TYPE_PIPE && ::WriteFile(g_notInherited, "x", 1, &written, nullptr);
}

// ---- The test's folder

bool controlFileExists(const wchar_t* name) {
    return !g_folder.empty() && ::GetFileAttributesW((g_folder + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool readControlFile(const std::wstring& name, std::string& content) {
    if (g_folder.empty())
        return false;
    HANDLE file =
        ::CreateFileW((g_folder + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    content.clear();
    char chunk[65536];
    DWORD n = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &n, nullptr) && n > 0)
        content.append(chunk, n);
    ::CloseHandle(file);
    return true;
}

void appendControlFile(const wchar_t* name, const std::string& text) {
    if (g_folder.empty())
        return;
    HANDLE file =
        ::CreateFileW((g_folder + name).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD n = 0;
    ::WriteFile(file, text.data(), DWORD(text.size()), &n, nullptr);
    ::CloseHandle(file);
}

DWORD WINAPI watchControlFiles(void*) {
    for (;;) {
        if (controlFileExists(L"exit"))
            ::ExitProcess(0);
        if (controlFileExists(L"close-output") && g_out) {
            ::CloseHandle(g_out);
            g_out = nullptr;
        }
        if (controlFileExists(L"stall"))
            g_stalled = 1;
        ::Sleep(kControlPollMs);
    }
}

// The browser's own ending: a second of "shutdown work" (a browser writing
// its profile), then "ended" in the test's folder.
int shutDown() {
    if (!g_folder.empty()) {
        ::Sleep(kShutdownWorkMs);
        appendControlFile(L"ended", "ended\n");
    }
    return 0;
}

// ---- The page

std::string decodeBase64(const std::string& text) {
    DWORD n = 0;
    if (!::CryptStringToBinaryA(text.c_str(), DWORD(text.size()), CRYPT_STRING_BASE64, nullptr, &n, nullptr, nullptr))
        return {};
    std::string bytes(n, '\0');
    ::CryptStringToBinaryA(text.c_str(), DWORD(text.size()), CRYPT_STRING_BASE64, reinterpret_cast<BYTE*>(bytes.data()),
                           &n, nullptr, nullptr);
    bytes.resize(n);
    return bytes;
}

// The markup served for a page POSTed (or not) with this body.
std::string markupFor(const std::string& body) {
    std::string markup;
    const size_t key = ("&" + body).find("&key=");
    if (key != std::string::npos) {
        const size_t start = key + 4;
        const std::string value = body.substr(start, body.find('&', start) - start);
        if (readControlFile(L"page-" + std::wstring(value.begin(), value.end()) + L".html", markup))
            return markup;
    }
    if (readControlFile(L"page.html", markup))
        return markup;
    return "<HTML><HEAD></HEAD><BODY></BODY></HTML>";
}

struct Page {
    std::string windowState = "normal";
    std::string markup = "<HTML><HEAD></HEAD><BODY></BODY></HTML>";
    bool intercepting = false;
    int navigations = 0;
    // The navigation waiting for its request to be continued.
    std::string pendingId;
    std::string pendingSession;
};

void pageEvent(const std::string& session, const std::string& method, const std::string& params) {
    send("{\"method\":\"" + method + "\",\"params\":" + params + ",\"sessionId\":\"" + session + "\"}");
}

// The rest of a navigation once its request has gone out: the reply with its
// loader, then the document's events as Chrome sends them.
void finishNavigation(Page& page, const std::string& id, const std::string& session, const std::string& body) {
    page.markup = markupFor(body);
    const std::string loader = "\"L" + std::to_string(page.navigations) + "\"";
    send("{\"id\":" + id + ",\"result\":{\"frameId\":\"F1\",\"loaderId\":" + loader + "},\"sessionId\":\"" + session +
         "\"}");
    for (const char* name : {"init", "DOMContentLoaded", "load"})
        pageEvent(session, "Page.lifecycleEvent",
                  "{\"frameId\":\"F1\",\"loaderId\":" + loader + ",\"name\":\"" + name + "\",\"timestamp\":1}");
    pageEvent(session, "Page.frameStoppedLoading", "{\"frameId\":\"F1\"}");
}

void answer(const std::string& id, const std::string& session, const std::string& result) {
    send("{\"id\":" + id + ",\"result\":" + result + (session.empty() ? "" : ",\"sessionId\":\"" + session + "\"") +
         "}");
}

// Answers a call of the program's own; false for a method it does not know.
bool answerProgramCall(Page& page, const std::string& message, const std::string& id, const std::string& method) {
    const std::string session = field(message, "sessionId");
    if (method == "Target.getTargets") {
        answer(id, session,
               "{\"targetInfos\":[{\"targetId\":\"T1\",\"type\":\"page\",\"title\":\"\",\"url\":\"about:blank\","
               "\"attached\":false,\"canAccessOpener\":false,\"browserContextId\":\"C1\"}]}");
    } else if (method == "Target.createTarget") {
        // The page's window, made in the state asked for.
        const std::string state = field(message, "windowState");
        if (!state.empty())
            page.windowState = state;
        answer(id, session, "{\"targetId\":\"T1\"}");
    } else if (method == "Target.attachToTarget") {
        answer(id, session, "{\"sessionId\":\"S1\"}");
    } else if (method == "Page.getFrameTree") {
        answer(id, session, "{\"frameTree\":{\"frame\":{\"id\":\"F1\",\"loaderId\":\"L0\",\"url\":\"about:blank\"}}}");
    } else if (method == "Browser.getWindowForTarget") {
        answer(id, session,
               "{\"windowId\":1,\"bounds\":{\"left\":0,\"top\":0,\"width\":1024,\"height\":768,\"windowState\":\"" +
                   page.windowState + "\"}}");
    } else if (method == "Browser.setWindowBounds") {
        const std::string state = field(message, "windowState");
        if (!state.empty())
            page.windowState = state;
        answer(id, session, "{}");
    } else if (method == "Fetch.enable" || method == "Fetch.disable") {
        page.intercepting = method == "Fetch.enable";
        answer(id, session, "{}");
    } else if (method == "Page.navigate") {
        ++page.navigations;
        const std::string url = field(message, "url");
        pageEvent(session, "Page.frameStartedLoading", "{\"frameId\":\"F1\"}");
        if (!page.intercepting) {
            finishNavigation(page, id, session, {});
            return true;
        }
        page.pendingId = id;
        page.pendingSession = session;
        pageEvent(session, "Fetch.requestPaused",
                  "{\"requestId\":\"R" + std::to_string(page.navigations) +
                      "\",\"request\":{\"url\":" + jsonString(url) +
                      ",\"method\":\"GET\",\"headers\":{\"Upgrade-Insecure-Requests\":\"1\",\"User-Agent\":"
                      "\"FakeBrowser/1.0\"}},\"frameId\":\"F1\",\"resourceType\":\"Document\"}");
    } else if (method == "Fetch.continueRequest") {
        answer(id, session, "{}");
        if (!page.pendingId.empty() && field(message, "requestId") == "R" + std::to_string(page.navigations)) {
            finishNavigation(page, page.pendingId, page.pendingSession, decodeBase64(field(message, "postData")));
            page.pendingId.clear();
        }
    } else if (method == "Runtime.evaluate") {
        // A promise is the wait for the page's visibility: the window is
        // always in the state asked for at once here.
        if (message.find("\"awaitPromise\":true") != std::string::npos)
            answer(id, session, "{\"result\":{\"type\":\"boolean\",\"value\":true}}");
        else if (message.find("\"returnByValue\":false") != std::string::npos)
            answer(id, session, "{\"result\":{\"type\":\"object\",\"objectId\":\"markup\"}}");
        else
            answer(id, session, "{\"result\":{\"type\":\"string\",\"value\":" + jsonString(page.markup) + "}}");
    } else if (method == "Runtime.callFunctionOn") {
        // [length in UTF-16 code units, the piece from the position asked for]
        const bool first = message.find("\"arguments\":[{\"value\":0}") != std::string::npos;
        const int length = ::MultiByteToWideChar(CP_UTF8, 0, page.markup.data(), int(page.markup.size()), nullptr, 0);
        answer(id, session,
               "{\"result\":{\"type\":\"object\",\"value\":[" + std::to_string(length) + "," +
                   jsonString(first ? page.markup : std::string()) + "]}}");
    } else if (method == "Page.createIsolatedWorld") {
        answer(id, session, "{\"executionContextId\":7}");
    } else if (method == "Page.addScriptToEvaluateOnNewDocument") {
        answer(id, session, "{\"identifier\":\"1\"}");
    } else if (method == "Page.enable" || method == "Network.enable" || method == "Inspector.enable" ||
               method == "Page.setLifecycleEventsEnabled" || method == "Target.setDiscoverTargets" ||
               method == "Page.bringToFront" || method == "Runtime.releaseObjectGroup") {
        answer(id, session, "{}");
    } else {
        return false;
    }
    return true;
}

void recordStart(int argc, wchar_t** argv, bool* failStart) {
    std::string started;
    for (int i = 1; i < argc; ++i)
        started += utf8(argv[i]) + '\n';
    wchar_t value[1024];
    const DWORD n = ::GetEnvironmentVariableW(L"__COMPAT_LAYER", value, 1024);
    if (n > 0 && n < 1024)
        started += "__COMPAT_LAYER=" + utf8(value) + '\n';
    appendControlFile(L"started.txt", started);
    std::string error;
    *failStart = readControlFile(L"start-error.txt", error);
    if (*failStart) {
        std::fwrite(error.data(), 1, error.size(), stderr);
        std::fflush(stderr);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wstring(argv[1]) == L"--helper") {
        ::Sleep(60000);
        return 0;
    }
    std::string arguments;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        arguments += utf8(a) + '\n';
        if (a.rfind(L"--remote-debugging-io-pipes=", 0) == 0) {
            const std::wstring pair = a.substr(28);
            g_in = HANDLE(std::uintptr_t(std::stoull(pair.substr(0, pair.find(L',')))));
            g_out = HANDLE(std::uintptr_t(std::stoull(pair.substr(pair.find(L',') + 1))));
        } else if (a.rfind(L"--check-not-inherited=", 0) == 0) {
            g_notInherited = HANDLE(std::uintptr_t(std::stoull(a.substr(22))));
        }
    }
    wchar_t folder[MAX_PATH];
    const DWORD folderLength = ::GetEnvironmentVariableW(L"FAKEBROWSER_DIR", folder, MAX_PATH);
    if (folderLength > 0 && folderLength < MAX_PATH) {
        g_folder = folder;
        if (g_folder.back() != L'\\')
            g_folder += L'\\';
        bool failStart = false;
        recordStart(argc, argv, &failStart);
        if (failStart)
            return 1;
        std::string delay;
        if (readControlFile(L"start-delay.txt", delay))
            ::Sleep(DWORD(std::stoul(delay)));
        if (HANDLE watcher = ::CreateThread(nullptr, 0, &watchControlFiles, nullptr, 0, nullptr))
            ::CloseHandle(watcher);
    }
    if (!g_in || !g_out) {
        std::fprintf(stderr, "fake browser: no --remote-debugging-io-pipes\n");
        return 2;
    }
    Page page;
    std::string buffer;
    char chunk[65536];
    for (;;) {
        size_t end;
        while ((end = buffer.find('\0')) == std::string::npos) {
            DWORD n = 0;
            if (!::ReadFile(g_in, chunk, sizeof chunk, &n, nullptr)) {
                // The program has closed the pipe: the browser's own shutdown,
                // unless it hangs.
                while (g_stalled)
                    ::Sleep(INFINITE);
                return shutDown();
            }
            buffer.append(chunk, n);
        }
        const std::string message = buffer.substr(0, end);
        buffer.erase(0, end + 1);
        appendControlFile(L"received.log", message + '\n');
        while (g_stalled)
            ::Sleep(INFINITE);
        const std::string id = field(message, "id");
        const std::string method = field(message, "method");
        if (answerProgramCall(page, message, id, method)) {
        } else if (method == "Browser.close") {
            // Chrome answers (the program may have closed its end by then) and ends.
            trySend("{\"id\":" + id + ",\"result\":{}}");
            return shutDown();
        } else if (method == "Browser.getVersion") {
            send("{\"id\":" + id + ",\"result\":{\"product\":\"FakeBrowser/1.0\"}}");
        } else if (method == "Test.echo") {
            send("{\"id\":" + id + ",\"result\":" + message + "}");
        } else if (method == "Test.arguments") {
            send("{\"id\":" + id + ",\"result\":{\"arguments\":" + jsonString(arguments) + "}}");
        } else if (method == "Test.inherited") {
            send("{\"id\":" + id + ",\"result\":{\"open\":" + (otherHandleOpen() ? "true" : "false") + "}}");
        } else if (method == "Test.stall") {
            ::Sleep(INFINITE);
        } else if (method == "Test.exit") {
            std::fprintf(stderr, "fake browser: told to exit\n");
            std::fflush(stderr);
            return 3;
        } else if (method == "Test.closeOutput") {
            ::CloseHandle(g_out);
            ::Sleep(INFINITE);
        } else if (method == "Test.closeInput") {
            ::CloseHandle(g_in);
            ::Sleep(INFINITE);
        } else if (method == "Test.spawn") {
            wchar_t self[MAX_PATH];
            ::GetModuleFileNameW(nullptr, self, MAX_PATH);
            std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --helper";
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION helper{};
            DWORD pid = 0;
            if (::CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &helper)) {
                pid = helper.dwProcessId;
                ::CloseHandle(helper.hProcess);
                ::CloseHandle(helper.hThread);
            }
            send("{\"id\":" + id + ",\"result\":{\"processId\":" + std::to_string(pid) + "}}");
        } else {
            send("{\"id\":" + id + ",\"error\":{\"code\":-32601,\"message\":\"unknown method\"}}");
        }
    }
}
