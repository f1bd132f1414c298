// Runs a program under the window watcher (window_watcher.exe beside the
// test program) and collects what the watcher and the stub's flow doubles
// reported.
#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

struct WatchedRun {
    std::map<std::string, std::string> report; // the watcher's key=value lines
    std::vector<std::string> calls;             // the flow doubles' lines, in order

    // The value of a key, "" when it is missing.
    std::string operator[](const std::string& key) const;
};

using Settings = std::vector<std::pair<std::string, std::string>>;

// mode: "watch", or "close" to try closing the progress window. settings:
// environment variables set for the run (and put back afterwards);
// QM_FAKE_REPORT and QM_FAKE_RELEASE are set to files of a scratch folder.
WatchedRun Watch(const std::string& program, const char* mode, const Settings& settings);

// The test variant of the stub (flow doubles, failing allocator), built
// beside the test programs.
constexpr const char* kTestVariantName = "stub_testvariant.exe";
std::string TestVariant();
