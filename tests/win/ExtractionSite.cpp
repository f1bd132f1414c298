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
    std::string parent = own.substr(0, own.rfind('\\'));
    std::set<std::string> left = skip;
    left.insert(workFolder_);
    // Other test programs come and go in the parent meanwhile.
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((parent + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string full = parent + "\\" + data.cFileName;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && full != own && IsScratchName(data.cFileName))
                left.insert(full);
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    return TreeSnapshot(parent, left);
}
