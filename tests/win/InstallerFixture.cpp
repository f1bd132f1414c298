// A stand-in for the installer program that the launcher starts. It appends
// what it saw to a report file and ends with an exit code of the test's
// choosing. The test passes its wishes through the environment, which the
// launcher's child inherits:
//
//   QM_FIXTURE_REPORT  report file (appended to; kept outside the work folder)
//   QM_FIXTURE_EXIT    exit code, decimal (default 0)
//   QM_FIXTURE_HOLD    name of an event: wait up to 30 s for it before ending,
//                      and report whether it came (the launcher's windows are
//                      hidden while the installer still runs)
//   QM_FIXTURE_STARTED name of an event to set once the program runs (before
//                      the hold)
//   QM_FIXTURE_BROADCAST  "1": after the hold, tell every top-level window
//                      that the environment changed with a blocking
//                      SendMessage, as installers do, and report when every
//                      window has answered
//   QM_FIXTURE_HELPER  milliseconds: before ending, start a copy of this
//                      program (this very file, wherever it lies) as a
//                      helper that outlives it, as a self-relaunching
//                      installer does; the helper waits that long, then
//                      reads every file beside it and reports
//                      "helper=read" when all could be read (otherwise
//                      "helper=missing"); it reports "helperpid=" (its
//                      process id) when it starts, and nothing else
//   QM_FIXTURE_BROKER  name of an event: run as a broker instead, a program
//                      that the launcher did not start: wait up to 30 s for
//                      the event, then start QM_FIXTURE_BROKER_RUN (a copy
//                      of this program, under any spelling of its path) as
//                      a helper that waits QM_FIXTURE_BROKER_DELAY
//                      milliseconds, and end
//
// Report lines: "module=", "commandline=", "commandlinew=" (the command
// line as Windows keeps it, in UTF-8), "folder=", one "beside=" per entry
// in the program's own folder, "hold=yes|no" when asked to hold,
// "broadcast=answered" after a broadcast, "tick=" (the tick count just
// before it ends), then "end".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "WaitScale.h"

namespace {

std::string Variable(const char* name)
{
    char value[1024];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    if (n == 0 || n >= sizeof value)
        return std::string();
    return std::string(value, n);
}

std::string Utf8(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &bytes[0], size, nullptr, nullptr);
    bytes.resize(bytes.size() - 1);
    return bytes;
}

std::string OwnFolder(const std::string& module)
{
    std::string::size_type slash = module.find_last_of('\\');
    return slash == std::string::npos ? std::string() : module.substr(0, slash);
}

} // namespace

// Appends text to the report file.
void Report(const std::string& text)
{
    std::string path = Variable("QM_FIXTURE_REPORT");
    if (path.empty())
        return;
    FILE* file = std::fopen(path.c_str(), "ab");
    if (file != nullptr) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
}

// The helper: after the wait, every file beside it must still be readable.
int RunAsHelper(const std::string& module, DWORD delay)
{
    Report("helperpid=" + std::to_string(GetCurrentProcessId()) + "\n");
    Sleep(delay);
    bool read = false;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((OwnFolder(module) + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        read = true;
        do {
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                continue;
            FILE* file = std::fopen((OwnFolder(module) + "\\" + entry.cFileName).c_str(), "rb");
            read = read && file != nullptr;
            if (file != nullptr)
                std::fclose(file);
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    Report(read ? "helper=read\n" : "helper=missing\n");
    return 0;
}

// Starts this program again as the helper, which inherits the environment.
void StartHelper(const std::string& module, const std::string& delay)
{
    SetEnvironmentVariableA("QM_FIXTURE_HELPER", nullptr);
    SetEnvironmentVariableA("QM_FIXTURE_AS_HELPER", delay.c_str());
    std::string line = "\"" + module + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(module.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

// The broker: once the event comes, the program named starts as a helper.
int RunAsBroker(const std::string& event)
{
    HANDLE started = OpenEventA(SYNCHRONIZE, FALSE, event.c_str());
    const bool came = started != nullptr && WaitForSingleObject(started, testwin::Scaled(30000)) == WAIT_OBJECT_0;
    if (started != nullptr)
        CloseHandle(started);
    if (!came)
        return 1;
    SetEnvironmentVariableA("QM_FIXTURE_BROKER", nullptr);
    StartHelper(Variable("QM_FIXTURE_BROKER_RUN"), Variable("QM_FIXTURE_BROKER_DELAY"));
    return 0;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    std::string report;

    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, sizeof module);
    const std::string asHelper = Variable("QM_FIXTURE_AS_HELPER");
    if (!asHelper.empty())
        return RunAsHelper(module, std::strtoul(asHelper.c_str(), nullptr, 10));
    const std::string broker = Variable("QM_FIXTURE_BROKER");
    if (!broker.empty())
        return RunAsBroker(broker);
    report += std::string("module=") + module + "\n";
    report += std::string("commandline=") + GetCommandLineA() + "\n";
    report += "commandlinew=" + Utf8(GetCommandLineW()) + "\n";
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof folder, folder);
    report += std::string("folder=") + folder + "\n";

    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((OwnFolder(module) + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name != "." && name != "..")
                report += "beside=" + name + "\n";
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }

    const std::string started = Variable("QM_FIXTURE_STARTED");
    if (!started.empty()) {
        HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, started.c_str());
        if (event != nullptr) {
            SetEvent(event);
            CloseHandle(event);
        }
    }
    std::string hold = Variable("QM_FIXTURE_HOLD");
    if (!hold.empty()) {
        HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, hold.c_str());
        bool came = event != nullptr && WaitForSingleObject(event, testwin::Scaled(30000)) == WAIT_OBJECT_0;
        if (event != nullptr)
            CloseHandle(event);
        report += came ? "hold=yes\n" : "hold=no\n";
    }
    if (Variable("QM_FIXTURE_BROADCAST") == "1") {
        // Returns only when every top-level window has answered.
        SendMessageA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"));
        report += "broadcast=answered\n";
    }
    const std::string helper = Variable("QM_FIXTURE_HELPER");
    if (!helper.empty())
        StartHelper(module, helper);
    report += "tick=" + std::to_string(GetTickCount()) + "\nend\n";
    Report(report);
    return static_cast<int>(std::strtoul(Variable("QM_FIXTURE_EXIT").c_str(), nullptr, 10));
}
