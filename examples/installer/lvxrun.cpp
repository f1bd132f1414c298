// lvxrun: the sample installer program. The demo packs it, with the files of
// examples/payload, into an installer; the launcher unpacks them into its
// work folder and starts this program from there with /quillimarkmode.
//
// It installs nothing. It reports what it sees: its command line, whether
// the switch came, its own folder and every file and folder beside it (with
// size, attributes and last-write time), and the exit code it ends with.
//
// Environment (the launcher's child inherits the launcher's environment):
//   LVXRUN_REPORT  file to append the report to, as UTF-8 text; keep it
//                  outside the work folder, which the launcher removes.
//                  Unset: the report is shown in a message box instead.
//   LVXRUN_EXIT    exit code, decimal (default 0). 3386 asks the launcher
//                  to restart Windows.
//
// Report lines, "key=value": "commandline=", "switch=yes|no", "program=",
// "folder=", "current=", one "entry=" per file or folder below the program's
// folder ("entry=F <size> <attributes> <last write, UTC> <path>" or
// "entry=D - ..." for a folder; paths relative, sorted, "\" between
// components), "exit=", then "end".
//
// A GUI-subsystem program with wide Windows calls: no console window
// appears when the launcher starts it, and names arrive whatever the
// system's code page.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t kSwitch[] = L"/quillimarkmode";

// A find handle that closes itself.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

std::string Utf8(const std::wstring& wide)
{
    if (wide.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr, nullptr);
    return text;
}

// An environment variable; empty when unset or empty.
std::wstring Variable(const wchar_t* name)
{
    DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0)
        return std::wstring();
    std::wstring value(n, L'\0');
    n = GetEnvironmentVariableW(name, &value[0], n);
    value.resize(n);
    return value;
}

// The launcher puts the switch last, after one blank (process creation) or
// as the whole parameter text (shell): the last blank-separated token.
bool HasSwitch(const std::wstring& commandLine)
{
    size_t end = commandLine.find_last_not_of(L" \t");
    if (end == std::wstring::npos)
        return false;
    size_t start = commandLine.find_last_of(L" \t", end);
    start = start == std::wstring::npos ? 0 : start + 1;
    return commandLine.compare(start, end + 1 - start, kSwitch) == 0;
}

std::wstring ModulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::wstring();
        if (n < path.size()) { // n == size means the name was cut short
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring FolderOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::string TimeText(const FILETIME& time)
{
    SYSTEMTIME t;
    if (!FileTimeToSystemTime(&time, &t))
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

// Every entry below folder, depth first, sorted by name; relative paths.
void ListTree(const std::wstring& folder, const std::wstring& relative, std::string& report)
{
    std::vector<WIN32_FIND_DATAW> entries;
    {
        WIN32_FIND_DATAW data;
        FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
        if (!find.Valid())
            return; // an empty drive root or no access: nothing to list
        do {
            if (std::wcscmp(data.cFileName, L".") != 0 && std::wcscmp(data.cFileName, L"..") != 0)
                entries.push_back(data);
        } while (FindNextFileW(find.Get(), &data));
    }
    std::sort(entries.begin(), entries.end(), [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
        return std::wcscmp(a.cFileName, b.cFileName) < 0;
    });
    for (const WIN32_FIND_DATAW& e : entries) {
        std::wstring path = relative.empty() ? std::wstring(e.cFileName) : relative + L"\\" + e.cFileName;
        bool isFolder = (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        char head[64];
        if (isFolder) {
            std::snprintf(head, sizeof head, "entry=D - 0x%02lx ", static_cast<unsigned long>(e.dwFileAttributes));
        } else {
            uint64_t size = static_cast<uint64_t>(e.nFileSizeHigh) << 32 | e.nFileSizeLow;
            std::snprintf(head, sizeof head, "entry=F %llu 0x%02lx ", static_cast<unsigned long long>(size),
                          static_cast<unsigned long>(e.dwFileAttributes));
        }
        report += head + TimeText(e.ftLastWriteTime) + " " + Utf8(path) + "\n";
        // A reparse point (link) is listed, never followed.
        if (isFolder && (e.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
            ListTree(folder + L"\\" + e.cFileName, path, report);
    }
}

bool AppendToFile(const std::wstring& path, const std::string& text)
{
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size();
    return CloseHandle(file) && ok;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    std::wstring commandLine = GetCommandLineW();
    std::wstring program = ModulePath();
    std::wstring folder = FolderOf(program);
    std::wstring current(MAX_PATH + 1, L'\0');
    DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(current.size()), &current[0]);
    current.resize(n < current.size() ? n : 0); // 0: failed; larger: too long to matter here

    std::wstring exitText = Variable(L"LVXRUN_EXIT");
    // wcstoul: no digits gives 0; the exit code is a 32-bit unsigned value.
    DWORD exitCode = static_cast<DWORD>(std::wcstoul(exitText.c_str(), nullptr, 10));

    std::string report = "commandline=" + Utf8(commandLine) + "\n";
    report += std::string("switch=") + (HasSwitch(commandLine) ? "yes" : "no") + "\n";
    report += "program=" + Utf8(program) + "\n";
    report += "folder=" + Utf8(folder) + "\n";
    report += "current=" + Utf8(current) + "\n";
    if (!folder.empty())
        ListTree(folder, std::wstring(), report);
    report += "exit=" + std::to_string(exitCode) + "\nend\n";

    std::wstring reportPath = Variable(L"LVXRUN_REPORT");
    if (!reportPath.empty()) {
        // Nobody would see a failure here: the exit code tells it instead.
        if (!AppendToFile(reportPath, report))
            return 1;
    } else {
        int n = MultiByteToWideChar(CP_UTF8, 0, report.data(), static_cast<int>(report.size()), nullptr, 0);
        std::wstring text(static_cast<size_t>(n > 0 ? n : 0), L'\0');
        if (n > 0)
            MultiByteToWideChar(CP_UTF8, 0, report.data(), static_cast<int>(report.size()), &text[0], n);
        MessageBoxW(nullptr, text.c_str(), L"lvxrun", MB_OK | MB_ICONINFORMATION);
    }
    return static_cast<int>(exitCode);
}
