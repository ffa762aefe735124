#pragma once

// Plain C++ against the Win32 API: what the tests on Windows ask of a file's
// access list (tests/support and win32/wintest.cpp).

#include <windows.h>

#include <aclapi.h>

#include <string>
#include <vector>

namespace velkoria::wintest {

// Wine accepts access lists but keeps none (it makes one up from the Linux
// permissions): what they do shows on a real Windows PC only.
inline bool accessListsKept() {
    return !::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
}

// True when the file's access list lets in the user running this program
// alone: protected from the folder's list, and every entry allows that user.
inline bool userAlone(const std::wstring& path) {
    HANDLE token = nullptr;
    DWORD size = 0;
    std::vector<unsigned char> user;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        user.resize(size);
        if (!size || !::GetTokenInformation(token, TokenUser, user.data(), size, &size))
            user.clear();
        ::CloseHandle(token);
    }
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (user.empty() || ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                                nullptr, &acl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    bool alone = acl && ::GetSecurityDescriptorControl(descriptor, &control, &revision) &&
                 (control & SE_DACL_PROTECTED) && acl->AceCount > 0;
    for (WORD i = 0; alone && i < acl->AceCount; ++i) {
        void* ace = nullptr;
        alone = ::GetAce(acl, i, &ace) && static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE &&
                ::EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, sid);
    }
    ::LocalFree(descriptor);
    return alone;
}

} // namespace velkoria::wintest
