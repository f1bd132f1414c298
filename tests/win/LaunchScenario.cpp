#include "tests/win/LaunchScenario.h"

#include <windows.h>

#include <atomic>
#include <thread>

#include "launcher/Launch.h"
#include "launcher/WorkFolder.h"
#include "payload/StubSettings.h"
#include "support/RCAnsiStr.h"
#include "support/RCPath.h"
#include "tests/win/WineHelpers.h"

using testwin::Exists;
using testwin::OwnFolder;

LaunchScenario::LaunchScenario(const char* name, bool withBlanks)
    : scratch_(name), fixture_(OwnFolder() + "\\installer_fixture.exe")
{
    if (withBlanks) {
        base_ = scratch_.Join("Documents and Settings\\tester\\Application Data");
        planted_ = scratch_.Join("Documents.exe");
        CopyFileA(fixture_.c_str(), planted_.c_str(), FALSE);
    }
    RCPath workFolder;
    SetToWorkFolder(workFolder, base_.empty() ? nullptr : base_.c_str());
    workFolder_ = workFolder.Text();
    RCAnsiStr installerName;
    StubSettings::InstallerName(installerName);
    installer_ = workFolder_ + "\\" + installerName.Text();

    // What extraction leaves beside the installer.
    TestFolder::RemoveAll(workFolder_);
    TestFolder::MakeFolders(workFolder_ + "\\data");
    HANDLE file = CreateFileA((workFolder_ + "\\setup.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

LaunchScenario::~LaunchScenario()
{
    // The launcher leaves the parents (Orvane\Lumavex\Quillimark) in place,
    // and so does the test; the scratch folder goes with everything in it.
    TestFolder::RemoveAll(workFolder_);
}

bool LaunchScenario::PlaceInstaller()
{
    return CopyFileA(fixture_.c_str(), installer_.c_str(), FALSE) != 0;
}

void LaunchScenario::Run(uint32_t exitCode, bool broadcast, uint32_t helperLimit, const std::string& arguments)
{
    const std::string reportPath = ReportPath();
    const std::string holdName = "qm-launch-hold-" + std::to_string(GetCurrentProcessId());
    HANDLE hold = CreateEventA(nullptr, TRUE, FALSE, holdName.c_str());
    recorder_.SignalOnHide(hold);
    SetEnvironmentVariableA("QM_FIXTURE_REPORT", reportPath.c_str());
    SetEnvironmentVariableA("QM_FIXTURE_EXIT", std::to_string(exitCode).c_str());
    SetEnvironmentVariableA("QM_FIXTURE_HOLD", holdName.c_str());
    SetEnvironmentVariableA("QM_FIXTURE_BROADCAST", broadcast ? "1" : nullptr);

    // The watcher notes the first tick at which the work folder is gone; it
    // looks once more after launch has returned.
    std::atomic<bool> done(false);
    std::thread watcher([this, &done] {
        for (;;) {
            const bool finished = done.load();
            if (!Exists(workFolder_)) {
                removed_ = true;
                removedAt_ = GetTickCount();
                return;
            }
            if (finished)
                return;
            Sleep(10);
        }
    });
    {
        RCPath workFolder;
        SetToWorkFolder(workFolder, base_.empty() ? nullptr : base_.c_str());
        RCAnsiStr name;
        StubSettings::InstallerName(name);
        LaunchInstaller(recorder_, workFolder.Text(), name.Text(), arguments.c_str(), helperLimit);
    }
    done.store(true);
    watcher.join();

    SetEnvironmentVariableA("QM_FIXTURE_REPORT", nullptr);
    SetEnvironmentVariableA("QM_FIXTURE_EXIT", nullptr);
    SetEnvironmentVariableA("QM_FIXTURE_HOLD", nullptr);
    SetEnvironmentVariableA("QM_FIXTURE_BROADCAST", nullptr);
    recorder_.SignalOnHide(nullptr);
    if (hold != nullptr)
        CloseHandle(hold);

    report_.clear();
    std::string text;
    if (TestFolder::ReadFile(reportPath, &text)) {
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            report_.push_back(text.substr(start, end - start));
            start = end + 1;
        }
    }
}

std::vector<std::string> LaunchScenario::Reported(const char* key) const
{
    const std::string prefix = std::string(key) + "=";
    std::vector<std::string> values;
    for (const std::string& line : report_) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            values.push_back(line.substr(prefix.size()));
    }
    return values;
}

size_t LaunchScenario::CompleteReports() const
{
    size_t count = 0;
    for (const std::string& line : report_)
        count += line == "end" ? 1 : 0;
    return count;
}

std::string LaunchScenario::ReportText() const
{
    std::string text;
    for (const std::string& line : report_)
        text += line + "\n";
    return text;
}
