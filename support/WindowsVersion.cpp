#include "support/WindowsVersion.h"

#include <windows.h>

#include <cstring>

// The record as Windows NT 4 and Windows 95 already knew it; the size field
// tells Windows which form is asked for.
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes");

bool QueryWindowsVersion(int32_t* major, int32_t* minor, int32_t* build, RCAnsiStr* description,
                         bool* isNT)
{
    OSVERSIONINFOA record;
    std::memset(&record, 0, sizeof record);
    record.dwOSVersionInfoSize = sizeof record;
    // Newer headers mark the call as deprecated: from Windows 8.1 on it
    // reports 6.2 to programs that do not declare themselves newer, which
    // is all the launcher needs (6 or more: elevation through the shell).
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    BOOL answered = GetVersionExA(&record);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (!answered)
        return false;
    ReadWindowsVersion(record, major, minor, build, description, isNT);
    return true;
}

void ReadWindowsVersion(const OSVERSIONINFOA& record, int32_t* major, int32_t* minor, int32_t* build,
                        RCAnsiStr* description, bool* isNT)
{
    // The numbers go on as Windows gives them: on the Windows 9x family the
    // build number's upper 16 bits repeat major and minor.
    int32_t majorValue = static_cast<int32_t>(record.dwMajorVersion);
    int32_t minorValue = static_cast<int32_t>(record.dwMinorVersion);
    int32_t buildValue = static_cast<int32_t>(record.dwBuildNumber);
    if (major != nullptr)
        *major = majorValue;
    if (minor != nullptr)
        *minor = minorValue;
    if (build != nullptr)
        *build = buildValue;
    if (description != nullptr) {
        // The service-pack text is read only up to its end within the record,
        // should Windows have filled all 128 bytes; an empty one leaves the
        // format's blank at the end ("6.2 Bild9200 ").
        char servicePack[sizeof record.szCSDVersion + 1];
        std::memcpy(servicePack, record.szCSDVersion, sizeof record.szCSDVersion);
        servicePack[sizeof record.szCSDVersion] = '\0';
        description->Format("%d.%d Bild%d %s", static_cast<int>(majorValue), static_cast<int>(minorValue),
                            static_cast<int>(buildValue), servicePack);
    }
    if (isNT != nullptr)
        *isNT = record.dwPlatformId == VER_PLATFORM_WIN32_NT;
}
