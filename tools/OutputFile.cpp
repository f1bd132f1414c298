#include "tools/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "tools/HostFolder.h"

#ifdef _WIN32
#include <windows.h>

#include "tools/WideText.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

OutputFile::~OutputFile()
{
    if (!temp_.empty()) {
        file_.Close();
        HostFile::Remove(temp_);
    }
}

bool OutputFile::Create(const std::string& target, std::string& error)
{
    target_ = target;
    std::string folder = HostFolder::Parent(target);
#ifdef _WIN32
    std::wstring wideFolder = WideText::FromUtf8(folder);
    wchar_t name[MAX_PATH + 1];
    // Makes the file, with a name of its own, so no other run can take it.
    if (wideFolder.empty() || GetTempFileNameW(wideFolder.c_str(), L"qmb", 0, name) == 0) {
        error = "cannot create a file in " + folder;
        return false;
    }
    temp_ = WideText::ToUtf8(name);
#else
    std::string pattern = HostFolder::Join(folder, ".qm-build-XXXXXX");
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = mkstemp(buffer.data());
    if (fd < 0) {
        error = "cannot create a file in " + folder + ": " + std::strerror(errno);
        return false;
    }
    temp_ = buffer.data();
    close(fd);
#endif
    if (!file_.Open(temp_, "wb")) {
        error = "cannot write " + temp_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool OutputFile::Close(std::string& error)
{
    if (!file_.IsOpen())
        return true;
    bool synced = file_.Sync();
    if (!file_.Close() || !synced) {
        error = "cannot write " + temp_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool OutputFile::Commit(std::string& error)
{
    if (temp_.empty()) {
        error = "nothing to put in place of " + target_;
        return false;
    }
    if (!Close(error))
        return false;
#ifndef _WIN32
    // mkstemp makes the file private (0600), and another program may have
    // written it anew; an installer is a program like any other: readable
    // and executable as the umask allows.
    mode_t mask = umask(0);
    umask(mask);
    if (chmod(temp_.c_str(), 0777 & ~mask) != 0) {
        error = "cannot set the permissions of " + temp_ + ": " + std::strerror(errno);
        return false;
    }
#endif
    if (!HostFile::Rename(temp_, target_)) {
        error = "cannot rename " + temp_ + " to " + target_ + ": " + std::strerror(errno);
        return false;
    }
    temp_.clear();
    return true;
}
