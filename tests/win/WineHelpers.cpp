#include "tests/win/WineHelpers.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "support/ProcAddress.h"
#include "support/WinHandle.h"
#include "tests/win/WaitScale.h"

namespace testwin {
namespace {

template <typename Fn>
Fn Function(const char* module, const char* name)
{
    return GetProcAddressAs<Fn>(GetModuleHandleA(module), name);
}

bool StartsWith(const std::string& text, const std::string& head)
{
    return text.size() > head.size() && text.compare(0, head.size(), head) == 0;
}

// A Linux name that can stand in single quotes inside a double-quoted
// Windows command-line argument.
bool Quotable(const std::string& unixPath)
{
    return !unixPath.empty() && unixPath.find_first_of("'\"\\$`") == std::string::npos;
}

// Runs a shell command on the Linux side and waits for it: a Linux program
// started from Wine gives no handle that can be waited for, so the command
// ends by making a marker file in the scratch folder, which is watched for.
bool RunLinux(const std::string& scratch, const std::string& command)
{
    std::string marker = scratch + "\\linux-done";
    std::string unixMarker = UnixPath(marker);
    if (!Quotable(unixMarker))
        return false;
    DeleteFileA(marker.c_str());
    std::string commandLine = "\"/bin/sh\" -c \"" + command + "; : > '" + unixMarker + "'\"";
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 500; ++i) {
        if (Attributes(marker) != INVALID_FILE_ATTRIBUTES)
            return DeleteFileA(marker.c_str()) != 0;
        Sleep(20);
    }
    return false;
}

// Linux names of scratch entries, checked to lie inside the scratch folder.
bool UnixInside(const std::string& scratch, const std::string& path, std::string* unixPath)
{
    std::string unixScratch = UnixPath(scratch);
    *unixPath = UnixPath(path);
    return !unixScratch.empty() && StartsWith(path, scratch + "\\") &&
           StartsWith(*unixPath, unixScratch + "/") && unixPath->find("/..") == std::string::npos &&
           Quotable(*unixPath);
}

} // namespace

bool IsWine()
{
    return Function<const char*(CDECL*)()>("ntdll.dll", "wine_get_version") != nullptr;
}

std::string UnixPath(const std::string& windowsPath)
{
    auto toUnix = Function<char*(CDECL*)(const WCHAR*)>("kernel32.dll", "wine_get_unix_file_name");
    if (toUnix == nullptr)
        return "";
    WCHAR wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH) == 0)
        return "";
    char* name = toUnix(wide);
    if (name == nullptr)
        return "";
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

std::string ThroughZ(const char* linuxPath)
{
    std::string path = linuxPath;
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

bool MakeFolderLink(const std::string& scratch, const std::string& link, const std::string& target,
                    std::string* how)
{
    auto isLink = [](DWORD a) { return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT); };
    if (!StartsWith(link, scratch + "\\") || !StartsWith(target, scratch + "\\"))
        return false;
    // Wine's CreateSymbolicLinkA answers TRUE and makes nothing, so the
    // link is looked for, not the answer.
    auto create = Function<BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD)>("kernel32.dll", "CreateSymbolicLinkA");
    if (create != nullptr && create(link.c_str(), target.c_str(), 1 /* a folder */) && isLink(Attributes(link))) {
        *how = "CreateSymbolicLinkA";
        return true;
    }
    std::string unixLink, unixTarget;
    if (!IsWine() || !UnixInside(scratch, link, &unixLink) || !UnixInside(scratch, target, &unixTarget))
        return false;
    *how = "a Linux-side link";
    return RunLinux(scratch, "ln -s -T -- '" + unixTarget + "' '" + unixLink + "'") && isLink(Attributes(link));
}

bool MakeFileLink(const std::string& scratch, const std::string& link, const std::string& target,
                  std::string* how)
{
    if (!StartsWith(link, scratch + "\\") || !StartsWith(target, scratch + "\\"))
        return false;
    auto create = Function<BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD)>("kernel32.dll", "CreateSymbolicLinkA");
    DWORD made = INVALID_FILE_ATTRIBUTES;
    if (create != nullptr && create(link.c_str(), target.c_str(), 0 /* a file */) &&
        (made = Attributes(link)) != INVALID_FILE_ATTRIBUTES && (made & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        *how = "CreateSymbolicLinkA";
        return true;
    }
    std::string unixLink, unixTarget;
    if (!IsWine() || !UnixInside(scratch, link, &unixLink) || !UnixInside(scratch, target, &unixTarget))
        return false;
    *how = "a Linux-side link";
    // Seen from Windows, the link leads to the target's content.
    return RunLinux(scratch, "ln -s -T -- '" + unixTarget + "' '" + unixLink + "'") &&
           Attributes(link) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveFolderLink(const std::string& scratch, const std::string& link)
{
    if (!StartsWith(link, scratch + "\\"))
        return false;
    if (!IsWine()) {
        DWORD attributes = Attributes(link);
        return attributes == INVALID_FILE_ATTRIBUTES ||
               ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryA(link.c_str()) : DeleteFileA(link.c_str()));
    }
    // On the Linux side in every case: a link whose target is gone is not
    // seen from Windows at all, yet it would keep its folder from going.
    // rm without -r removes a link itself, never what it points to.
    std::string unixLink;
    return UnixInside(scratch, link, &unixLink) && RunLinux(scratch, "rm -f -- '" + unixLink + "'") &&
           Attributes(link) == INVALID_FILE_ATTRIBUTES;
}

namespace {

// The prefix's dosdevices folder (drive letters, UNC servers), on the
// Linux side: the one that holds c:.
std::string UnixDosDevices()
{
    std::string drive = UnixPath("C:\\");
    while (!drive.empty() && drive.back() == '/')
        drive.pop_back();
    const std::string::size_type slash = drive.find_last_of('/');
    return slash == std::string::npos || !Quotable(drive) ? std::string() : drive.substr(0, slash);
}

// The prefix's folder of UNC servers: beside c: in dosdevices.
std::string UnixUncFolder()
{
    const std::string devices = UnixDosDevices();
    return devices.empty() ? devices : devices + "/unc";
}

// "q:" for "Q:", as dosdevices names drives; empty for anything else.
std::string DeviceName(const std::string& drive)
{
    if (drive.size() != 2 || drive[1] != ':' || !std::isalpha(static_cast<unsigned char>(drive[0])))
        return std::string();
    return std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(drive[0])))) + ":";
}

} // namespace

bool MapShare(const std::string& scratch, const std::string& server, const std::string& share,
              const std::string& folder)
{
    std::string unixFolder;
    const std::string unc = IsWine() ? UnixUncFolder() : std::string();
    if (unc.empty() || !UnixInside(scratch, folder, &unixFolder) || !Quotable(server) || !Quotable(share))
        return false;
    return RunLinux(scratch, "mkdir -p '" + unc + "/" + server + "' && ln -s -f -n -- '" + unixFolder + "' '" + unc +
                                 "/" + server + "/" + share + "'") &&
           IsFolder("\\\\" + server + "\\" + share);
}

bool UnmapShare(const std::string& scratch, const std::string& server, const std::string& share)
{
    const std::string unc = IsWine() ? UnixUncFolder() : std::string();
    return !unc.empty() && RunLinux(scratch, "rm -f -- '" + unc + "/" + server + "/" + share + "'");
}

bool MapDrive(const std::string& scratch, const std::string& drive, const std::string& folder)
{
    if (!IsWine())
        return DefineDosDeviceA(0, drive.c_str(), folder.c_str()) != 0;
    std::string unixFolder;
    const std::string devices = UnixDosDevices();
    const std::string device = DeviceName(drive);
    if (devices.empty() || device.empty() || !UnixInside(scratch, folder, &unixFolder))
        return false;
    // (Wine answers no query about the root of such a drive itself; what
    // lies in it is there.)
    return RunLinux(scratch, "ln -s -f -n -- '" + unixFolder + "' '" + devices + "/" + device + "'");
}

bool UnmapDrive(const std::string& scratch, const std::string& drive)
{
    if (!IsWine())
        return DefineDosDeviceA(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr) != 0;
    const std::string devices = UnixDosDevices();
    const std::string device = DeviceName(drive);
    return !devices.empty() && !device.empty() && RunLinux(scratch, "rm -f -- '" + devices + "/" + device + "'");
}

std::string FreeDrive()
{
    DWORD used = GetLogicalDrives();
    for (char letter = 'Y'; letter >= 'D'; --letter) {
        if ((used & (1u << (letter - 'A'))) == 0)
            return std::string(1, letter) + ":";
    }
    return "";
}

DWORD Attributes(const std::string& path)
{
    return GetFileAttributesA(path.c_str());
}

bool Exists(const std::string& path)
{
    return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path)
{
    DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ForEachEntry(const std::string& folder, const std::function<void(const WIN32_FIND_DATAA&)>& visit)
{
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!find.Valid())
        return false;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..")
            visit(data);
    } while (FindNextFileA(find.Get(), &data));
    return true;
}

std::string OwnFile()
{
    char name[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, name, MAX_PATH);
    // MAX_PATH: the name was cut short.
    return std::string(name, n < MAX_PATH ? n : 0);
}

std::string OwnFolder()
{
    std::string file = OwnFile();
    size_t slash = file.find_last_of('\\');
    return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

bool ReadTimes(const std::string& path, Times* times)
{
    HANDLE handle = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    FILETIME created, accessed, written;
    bool ok = GetFileTime(handle, &created, &accessed, &written) != 0;
    CloseHandle(handle);
    auto value = [](const FILETIME& t) {
        return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
    };
    times->created = value(created);
    times->accessed = value(accessed);
    times->written = value(written);
    return ok;
}

uint64_t FileTimeOf(int year, int month, int day, int hour, int minute, int second, uint32_t ticks)
{
    SYSTEMTIME system;
    std::memset(&system, 0, sizeof system);
    system.wYear = static_cast<WORD>(year);
    system.wMonth = static_cast<WORD>(month);
    system.wDay = static_cast<WORD>(day);
    system.wHour = static_cast<WORD>(hour);
    system.wMinute = static_cast<WORD>(minute);
    system.wSecond = static_cast<WORD>(second);
    FILETIME time;
    if (!SystemTimeToFileTime(&system, &time))
        return 0;
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime) + ticks;
}

int32_t RunCopyOfSelf(const std::string& exe, const std::string& test, const std::string& cwd)
{
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !CopyFileA(self, exe.c_str(), FALSE))
        return -1;
    std::string commandLine =
        "\"" + exe + "\" --gtest_also_run_disabled_tests --gtest_filter=" + test;
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(),
                        &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, Scaled(60000)) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &code)) {
        TerminateProcess(process.hProcess, 1);
        code = static_cast<DWORD>(-1);
    }
    CloseHandle(process.hProcess);
    return static_cast<int32_t>(code);
}

} // namespace testwin
