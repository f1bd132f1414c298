// One run of launch() against the installer fixture (installer_fixture.exe,
// built beside the test programs). The scenario makes the work folder as
// extraction would leave it (a file and a folder in it, and the fixture
// under the installer name once PlaceInstaller is called), tells the fixture
// through the environment what to do, watches from a second thread when the
// work folder goes, and keeps what the fixture reported.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "launcher/Launch.h"
#include "tests/win/LaunchRecorder.h"
#include "tests/shared/TestFolder.h"

class LaunchScenario {
public:
    // name names the scratch folder C:\qmtest\<name>-<pid>, which holds the
    // fixture's report. With blanks, the work folder lies below
    // <scratch>\Documents and Settings\tester\Application Data (standing in
    // for the application-data folder), and a copy of the fixture is
    // planted as <scratch>\Documents.exe, where an unquoted command line
    // would find it first. Without, it lies below the real
    // application-data folder.
    LaunchScenario(const char* name, bool withBlanks);
    ~LaunchScenario();
    LaunchScenario(const LaunchScenario&) = delete;
    LaunchScenario& operator=(const LaunchScenario&) = delete;

    // Copies the fixture into the work folder under the installer name.
    bool PlaceInstaller();
    // Calls launch; the fixture, if it runs, ends with exitCode. With
    // broadcast, it first sends the environment-change broadcast that
    // waits for every top-level window, the recorder's among them.
    // helperLimit: the launcher's limit for waiting on helpers; arguments:
    // the launcher's own, for the installer.
    void Run(uint32_t exitCode, bool broadcast = false, uint32_t helperLimit = kHelperWaitLimit,
             const std::string& arguments = std::string());

    const std::string& Base() const { return base_; }       // empty: the real one
    const std::string& WorkFolder() const { return workFolder_; }
    const std::string& Installer() const { return installer_; }
    const std::string& Planted() const { return planted_; }  // empty without blanks
    std::string ReportPath() const { return scratch_.Join("report.txt"); }
    const LaunchRecorder& Recorder() const { return recorder_; }

    // The values of the fixture's report lines "key=value" with this key, in
    // order, over every run of the fixture (a planted copy included).
    std::vector<std::string> Reported(const char* key) const;
    // The whole report, for failure messages.
    std::string ReportText() const;
    // How many runs of the fixture wrote their report to the end.
    size_t CompleteReports() const;
    // Whether, and at which tick, the watcher saw the work folder go.
    bool Removed() const { return removed_; }
    uint32_t RemovedAt() const { return removedAt_; }

private:
    TestFolder scratch_;
    std::string base_;
    std::string workFolder_;
    std::string installer_;
    std::string planted_;
    std::string fixture_;
    LaunchRecorder recorder_;
    std::vector<std::string> report_;
    bool removed_ = false;
    uint32_t removedAt_ = 0;
};
