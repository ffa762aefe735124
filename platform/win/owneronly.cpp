#include "platform/win/owneronly.h"

#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <vector>

namespace velkoria::win {

namespace {

std::wstring systemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n ? std::wstring(text, n) : L"error " + std::to_wstring(error);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    return message;
}

// A security descriptor whose access list lets in the user running the program
// alone, protected from what the folder would pass on.
class OwnerOnlySecurity {
public:
    OwnerOnlySecurity() {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
            m_error = ::GetLastError();
            return;
        }
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        m_user.resize(size);
        const bool known = size && ::GetTokenInformation(token, TokenUser, m_user.data(), size, &size);
        m_error = known ? ERROR_SUCCESS : ::GetLastError();
        ::CloseHandle(token);
        if (!known)
            return;
        EXPLICIT_ACCESS_W access{};
        access.grfAccessPermissions = GENERIC_ALL;
        access.grfAccessMode = SET_ACCESS;
        access.grfInheritance = NO_INHERITANCE;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.TrusteeType = TRUSTEE_IS_USER;
        access.Trustee.ptstrName = static_cast<LPWSTR>(reinterpret_cast<TOKEN_USER*>(m_user.data())->User.Sid);
        m_error = ::SetEntriesInAclW(1, &access, nullptr, &m_acl);
        if (m_error != ERROR_SUCCESS)
            return;
        if (!::InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !::SetSecurityDescriptorDacl(&m_descriptor, TRUE, m_acl, FALSE) ||
            !::SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
            m_error = ::GetLastError();
    }
    ~OwnerOnlySecurity() { ::LocalFree(m_acl); }
    OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
    OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;

    DWORD error() const { return m_error; }
    SECURITY_ATTRIBUTES* attributes() {
        m_attributes = {sizeof m_attributes, &m_descriptor, FALSE};
        return &m_attributes;
    }

private:
    DWORD m_error = ERROR_SUCCESS;
    std::vector<unsigned char> m_user;
    PACL m_acl = nullptr;
    SECURITY_DESCRIPTOR m_descriptor{};
    SECURITY_ATTRIBUTES m_attributes{};
};

// Replacing a file that another program holds open without sharing its
// deletion fails with one of these; Chromium's ImportantFileWriter waits for
// the same 5 tries, 100 ms apart.
constexpr int kReplaceTries = 5;
constexpr DWORD kReplacePauseMs = 100;

bool heldByAnotherProgram(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

bool fail(WriteStep step, DWORD error, WriteFailure* failure) {
    if (failure)
        *failure = {step, error, systemMessage(error)};
    return false;
}

} // namespace

bool writeFileWhole(const std::wstring& path, std::string_view bytes, bool ownerOnly, WriteFailure* failure) {
    // A read-only file stays as the user made it (a move would replace it
    // under some systems).
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return fail(WriteStep::Replace, ERROR_ACCESS_DENIED, failure);
    std::optional<OwnerOnlySecurity> security;
    if (ownerOnly && security.emplace().error() != ERROR_SUCCESS)
        return fail(WriteStep::Create, security->error(), failure);
    // Beside the file, so that the move stays on its drive.
    static std::atomic<unsigned> counter{0};
    const std::wstring temporary =
        path + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L".tmp";
    HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, security ? security->attributes() : nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return fail(WriteStep::Create, ::GetLastError(), failure);
    DWORD error = ERROR_SUCCESS;
    for (size_t done = 0; done < bytes.size() && error == ERROR_SUCCESS;) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr))
            error = ::GetLastError();
        else if (written == 0)
            error = ERROR_WRITE_FAULT;
        done += written;
    }
    if (error == ERROR_SUCCESS && !::FlushFileBuffers(file))
        error = ::GetLastError();
    ::CloseHandle(file);
    WriteStep step = WriteStep::Write;
    if (error == ERROR_SUCCESS) {
        step = WriteStep::Replace;
        for (int tries = 1;; ++tries) {
            if (::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                error = ERROR_SUCCESS;
                break;
            }
            error = ::GetLastError();
            if (tries == kReplaceTries || !heldByAnotherProgram(error))
                break;
            ::Sleep(kReplacePauseMs);
        }
    }
    if (error != ERROR_SUCCESS) {
        ::DeleteFileW(temporary.c_str());
        return fail(step, error, failure);
    }
    return true;
}

} // namespace velkoria::win
