#include "tests/win/WatchedRun.h"

#include <windows.h>

#include <sstream>

#include "tests/shared/TestFolder.h"
#include "tests/win/WineHelpers.h"

using testwin::OwnFolder;

namespace {

// Sets environment variables for its lifetime, then puts the old values back.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const Settings& settings)
    {
        for (const auto& setting : settings) {
            char old[4096];
            DWORD n = GetEnvironmentVariableA(setting.first.c_str(), old, sizeof old);
            saved_.push_back({setting.first, n > 0 && n < sizeof old, std::string(old, n < sizeof old ? n : 0)});
            SetEnvironmentVariableA(setting.first.c_str(), setting.second.c_str());
        }
    }
    ~ScopedEnvironment()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            SetEnvironmentVariableA(it->name.c_str(), it->present ? it->value.c_str() : nullptr);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    struct Saved {
        std::string name;
        bool present;
        std::string value;
    };
    std::vector<Saved> saved_;
};

int Run(const std::string& commandLine)
{
    std::string line = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

std::vector<std::string> Lines(const std::string& path)
{
    std::string bytes;
    std::vector<std::string> lines;
    if (!TestFolder::ReadFile(path, &bytes))
        return lines;
    std::istringstream in(bytes);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

} // namespace

std::string WatchedRun::operator[](const std::string& key) const
{
    auto found = report.find(key);
    return found == report.end() ? std::string() : found->second;
}

std::string TestVariant()
{
    return OwnFolder() + "\\" + kTestVariantName;
}

WatchedRun Watch(const std::string& program, const char* mode, const Settings& settings)
{
    TestFolder scratch("watch");
    const std::string reportFile = scratch.Join("watcher.txt");
    const std::string callsFile = scratch.Join("calls.txt");
    Settings all = settings;
    all.push_back({"QM_FAKE_REPORT", callsFile});
    all.push_back({"QM_FAKE_RELEASE", scratch.Join("release")});
    ScopedEnvironment environment(all);

    WatchedRun run;
    int code = Run("\"" + OwnFolder() + "\\window_watcher.exe\" \"" + reportFile + "\" " + mode + " \"" + program +
                   "\"");
    run.report["watcher.exit"] = std::to_string(code);
    for (const std::string& line : Lines(reportFile)) {
        size_t equals = line.find('=');
        if (equals != std::string::npos)
            run.report[line.substr(0, equals)] = line.substr(equals + 1);
    }
    for (const std::string& line : Lines(callsFile))
        run.calls.push_back(line);
    return run;
}
