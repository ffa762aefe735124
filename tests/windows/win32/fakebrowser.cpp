// A stand-in for Chrome's --remote-debugging-io-pipes end, for tests under Wine.
// Reads NUL-separated messages from IN and answers on OUT:
//   Browser.getVersion  -> a version result
//   Test.echo           -> {"id":N,"result":<the whole message>}
//   Test.arguments      -> its command line arguments, one per line
//   Test.inherited      -> whether the handle given by --check-not-inherited is open here
//   Test.stall          -> stops reading (stays alive)
//   Test.exit           -> writes a line to standard error and exits with code 3
//   Test.closeOutput    -> closes OUT, keeps running
//   Test.closeInput     -> closes IN, keeps running
// It ends when IN ends.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

HANDLE g_in = nullptr;
HANDLE g_out = nullptr;
HANDLE g_notInherited = nullptr;

std::string utf8(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out + '"';
}

void send(const std::string& message) {
    std::string data = message;
    data.push_back('\0');
    size_t done = 0;
    while (done < data.size()) {
        DWORD n = 0;
        if (!::WriteFile(g_out, data.data() + done, DWORD(data.size() - done), &n, nullptr))
            ::ExitProcess(4);
        done += n;
    }
}

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

} // namespace

int wmain(int argc, wchar_t** argv) {
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
    if (!g_in || !g_out) {
        std::fprintf(stderr, "fake browser: no --remote-debugging-io-pipes\n");
        return 2;
    }
    std::string buffer;
    char chunk[65536];
    for (;;) {
        size_t end;
        while ((end = buffer.find('\0')) == std::string::npos) {
            DWORD n = 0;
            if (!::ReadFile(g_in, chunk, sizeof chunk, &n, nullptr))
                return 0; // the program has closed the pipe
            buffer.append(chunk, n);
        }
        const std::string message = buffer.substr(0, end);
        buffer.erase(0, end + 1);
        const std::string id = field(message, "id");
        const std::string method = field(message, "method");
        if (method == "Browser.getVersion") {
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
        } else {
            send("{\"id\":" + id + ",\"error\":{\"code\":-32601,\"message\":\"unknown method\"}}");
        }
    }
}
