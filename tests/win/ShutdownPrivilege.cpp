#include "tests/win/ShutdownPrivilege.h"

#include <windows.h>

#include <vector>

namespace {

// The privilege's attributes in the token; false when it is not there.
bool Attributes(DWORD* attributes)
{
    LUID id;
    if (!LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &id))
        return false;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size == 0 ? 1 : size);
    bool found = false;
    if (GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
        const TOKEN_PRIVILEGES* list = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
        for (DWORD i = 0; i < list->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& entry = list->Privileges[i];
            if (entry.Luid.LowPart == id.LowPart && entry.Luid.HighPart == id.HighPart) {
                *attributes = entry.Attributes;
                found = true;
            }
        }
    }
    CloseHandle(token);
    return found;
}

} // namespace

bool ShutdownPrivilege::Held()
{
    DWORD attributes = 0;
    return Attributes(&attributes);
}

bool ShutdownPrivilege::Enabled()
{
    DWORD attributes = 0;
    return Attributes(&attributes) && (attributes & SE_PRIVILEGE_ENABLED) != 0;
}

bool ShutdownPrivilege::Remove()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES change{};
    change.PrivilegeCount = 1;
    change.Privileges[0].Attributes = SE_PRIVILEGE_REMOVED;
    bool ok = LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &change.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &change, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok && !Held();
}
