// HeldTree on POSIX hosts: every folder is a descriptor opened without
// following a link at its name; entries are made relative to those
// descriptors (mkdirat, openat), so nothing planted on the way can move
// them elsewhere.
#include "tools/HeldTree.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/SystemError.h"

namespace {

constexpr int kNone = -1;

void Close(int& fd)
{
    if (fd != kNone)
        close(fd);
    fd = kNone;
}

// A FILETIME as a time for futimens; a zero time is left as it is.
timespec TimeOf(uint64_t fileTime)
{
    timespec t = {};
    if (fileTime == 0) {
        t.tv_nsec = UTIME_OMIT;
        return t;
    }
    t.tv_sec = static_cast<time_t>(static_cast<int64_t>(fileTime / 10000000u) - 11644473600LL);
    t.tv_nsec = static_cast<long>(fileTime % 10000000u * 100u);
    return t;
}

// The times POSIX keeps: last access and last write (creation is the
// file system's). A read-only file loses its write permissions.
bool ApplyRecord(int fd, const FileAttributeRecord& record, bool folder)
{
    const timespec times[2] = {TimeOf(record.lastAccessTime), TimeOf(record.lastWriteTime)};
    if (futimens(fd, times) != 0)
        return false;
    struct stat st;
    if (folder || (record.attributes & 1u) == 0)
        return true;
    return fstat(fd, &st) == 0 && fchmod(fd, st.st_mode & 07555u) == 0;
}

bool IsEmptyFolder(int fd)
{
    int copy = dup(fd);
    DIR* listing = copy < 0 ? nullptr : fdopendir(copy);
    if (listing == nullptr) {
        if (copy >= 0)
            close(copy);
        return false;
    }
    bool empty = true;
    while (dirent* e = readdir(listing)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    closedir(listing);
    return empty;
}

} // namespace

struct HeldTree::Native {
    std::vector<int> held; // the top first, then each open archive folder (names_)

    int file = kNone;
    std::string fileName;  // in its folder
    size_t fileParent = 0; // its folder's index in held

    ~Native()
    {
        Close(file);
        for (int& fd : held)
            Close(fd);
    }
};

HeldTree::HeldTree() : native_(new Native) {}

HeldTree::~HeldTree() = default;

HeldTree::Top HeldTree::Begin(const std::string& dir, std::string& why)
{
    const bool made = mkdir(dir.c_str(), 0777) == 0;
    if (!made && errno != EEXIST) {
        why = SystemError::Last();
        return Top::CannotMake;
    }
    int top = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (made ? O_NOFOLLOW : 0));
    if (top == kNone) {
        why = SystemError::Last();
        return Top::NotAFolder;
    }
    if (!made && !IsEmptyFolder(top)) {
        Close(top);
        return Top::NotEmpty;
    }
    native_->held.push_back(top);
    names_.push_back(std::string());
    return Top::Held;
}

void HeldTree::DropInnermost()
{
    Close(native_->held.back());
    native_->held.pop_back();
}

bool HeldTree::MakeFolder(const std::string& name, const std::string& archiveName, std::string& why)
{
    const int parent = native_->held.back();
    int folder = kNone;
    // A name taken by a folder is that folder; by anything else, refused
    // (O_NOFOLLOW: a link is not opened, O_DIRECTORY: nor is a file).
    if ((mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) ||
        (folder = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) == kNone) {
        why = SystemError::Last();
        return false;
    }
    native_->held.push_back(folder);
    names_.push_back(archiveName);
    return true;
}

bool HeldTree::ApplyToFolder(const FileAttributeRecord& record)
{
    return ApplyRecord(native_->held.back(), record, true);
}

bool HeldTree::MakeFile(const std::string& name, std::string& why)
{
    const int parent = native_->held.back();
    native_->file = openat(parent, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (native_->file == kNone) {
        why = SystemError::Last();
        return false;
    }
    native_->fileName = name;
    native_->fileParent = native_->held.size() - 1;
    return true;
}

bool HeldTree::HasFile() const
{
    return native_->file != kNone;
}

bool HeldTree::WriteSome(const uint8_t* data, int32_t length, int32_t* written, std::string& why)
{
    ssize_t n = 0;
    do
        n = write(native_->file, data, static_cast<size_t>(length));
    while (n < 0 && errno == EINTR);
    if (n <= 0) {
        why = n < 0 ? SystemError::Last() : "nothing was written";
        return false;
    }
    *written = static_cast<int32_t>(n);
    return true;
}

bool HeldTree::ApplyToFile(const FileAttributeRecord& record, std::string& why)
{
    if (ApplyRecord(native_->file, record, false))
        return true;
    why = SystemError::Last();
    return false;
}

bool HeldTree::CloseFile(std::string& why)
{
    if (native_->file == kNone)
        return true;
    const bool closed = close(native_->file) == 0;
    native_->file = kNone;
    if (!closed)
        why = SystemError::Last();
    return closed;
}

bool HeldTree::RemoveFile()
{
    if (native_->file == kNone)
        return false;
    Close(native_->file);
    return unlinkat(native_->held[native_->fileParent], native_->fileName.c_str(), 0) == 0;
}
