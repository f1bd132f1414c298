#include "tests/win/ExtractionSite.h"

#include <windows.h>

#include <cstdio>

#include "launcher/WorkFolder.h"
#include "support/RCPath.h"

namespace {

// "<name>-<digits>", the form of every scratch folder.
bool IsScratchName(const std::string& name)
{
    size_t dash = name.rfind('-');
    if (dash == std::string::npos || dash + 1 == name.size())
        return false;
    return name.find_first_not_of("0123456789", dash + 1) == std::string::npos;
}

} // namespace

ExtractionSite::ExtractionSite(const char* name) : scratch_(name)
{
    appData_ = scratch_.Join("AppData");
    CreateDirectoryA(appData_.c_str(), nullptr);
    RCPath work;
    SetToWorkFolder(work, appData_.c_str());
    workFolder_ = work.Text();
    // The work folder's parents exist, as they do after a first run, so
    // that extraction changes nothing outside the work folder.
    for (size_t at = appData_.size() + 1; at < workFolder_.size(); ++at) {
        if (workFolder_[at] == '\\')
            CreateDirectoryA(workFolder_.substr(0, at).c_str(), nullptr);
    }
}

std::string ExtractionSite::Write(const std::string& name, const std::string& bytes) const
{
    std::string path = scratch_.Join(name);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return scratch_.WriteFile(name, bytes) ? path : "";
}

TreeSnapshot ExtractionSite::Outside(const std::set<std::string>& skip) const
{
    const std::string& own = scratch_.Path();
    const std::string parent = own.substr(0, own.rfind('\\'));
    // Other test programs make and remove their scratch folders in the
    // parent meanwhile: those are left out as they are met.
    return TreeSnapshot(parent, [&](const std::string& fullPath, bool folder) {
        if (fullPath == workFolder_ || skip.count(fullPath) != 0)
            return true;
        size_t slash = fullPath.rfind('\\');
        return folder && fullPath != own && fullPath.compare(0, slash, parent) == 0 && slash == parent.size() &&
               IsScratchName(fullPath.substr(slash + 1));
    });
}
