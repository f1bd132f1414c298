// The place where an extraction test runs: a scratch folder on C: that
// holds the combined files and a stand-in for the application-data folder,
// below which lies the work folder of this process (built by the
// launcher's own recipe). Snapshots of everything outside the work folder
// show that extraction touched nothing else.
#pragma once
#include <cstdint>
#include <set>
#include <string>

#include "tests/shared/TestFolder.h"
#include "tests/win/TreeSnapshot.h"

class ExtractionSite {
public:
    explicit ExtractionSite(const char* name);

    const std::string& Scratch() const { return scratch_.Path(); }
    const std::string& AppData() const { return appData_; }
    const std::string& WorkFolder() const { return workFolder_; }

    // Writes bytes to name in the scratch folder; returns the full path, or
    // an empty text when that failed.
    std::string Write(const std::string& name, const std::string& bytes) const;

    // Everything in the scratch folder's parent (C:\qmtest) except the work
    // folder, the paths in skip and the scratch folders of other running
    // test programs.
    TreeSnapshot Outside(const std::set<std::string>& skip = {}) const;

    // The work folder's tree.
    TreeSnapshot Work() const { return TreeSnapshot(workFolder_); }

private:
    TestFolder scratch_;
    std::string appData_;
    std::string workFolder_;
};
