#include "support/RCEntryHandle.h"

#include <windows.h>

#include "support/ProcAddress.h"
#include "support/SystemPath.h"

namespace {

// The by-handle calls of Windows Vista and later, looked up at run time: the
// program also runs on Windows XP, which lacks them.
constexpr int32_t kBasicInfo = 0;       // FileBasicInfo
constexpr int32_t kStandardInfo = 1;    // FileStandardInfo
constexpr int32_t kDispositionInfo = 4; // FileDispositionInfo
// SetFileInformationByHandle and GetFileInformationByHandleEx alike.
using InfoFn = BOOL(WINAPI*)(HANDLE, int32_t, LPVOID, DWORD);

struct BasicInfo { // FILE_BASIC_INFO
    LARGE_INTEGER creationTime;
    LARGE_INTEGER lastAccessTime;
    LARGE_INTEGER lastWriteTime;
    LARGE_INTEGER changeTime;
    DWORD fileAttributes;
};

struct StandardInfo { // FILE_STANDARD_INFO
    LARGE_INTEGER allocationSize;
    LARGE_INTEGER endOfFile;
    DWORD numberOfLinks;
    BOOLEAN deletePending;
    BOOLEAN directory;
};

struct DispositionInfo { // FILE_DISPOSITION_INFO
    BOOLEAN deleteFile;
};

// Sets information through the handle where Windows can (Vista on). False
// with ERROR_NOT_SUPPORTED where it cannot: before Vista, or where the file
// system refuses the call as such; the caller then goes by name.
bool SetThroughHandle(HANDLE handle, int32_t kind, void* information, DWORD size)
{
    InfoFn setInformation = KernelFunction<InfoFn>("SetFileInformationByHandle");
    if (setInformation == nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    if (setInformation(handle, kind, information, size))
        return true;
    if (GetLastError() == ERROR_INVALID_FUNCTION)
        SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}

// Marks the entry for deletion at its release, or takes that back.
bool SetDisposition(HANDLE handle, BOOLEAN deleteIt)
{
    DispositionInfo disposition{deleteIt};
    return SetThroughHandle(handle, kDispositionInfo, &disposition, sizeof disposition);
}

// The attributes and the number of names of the object held: from Windows
// Vista on with two small questions, before with the whole record of
// GetFileInformationByHandle, which asks for the volume's serial number too
// (Wine asks its mount manager for it: about half a millisecond a file,
// which a claim of thousands of files pays for nothing). False when
// neither answers.
bool ReadAttributes(HANDLE handle, uint32_t& attributes, uint32_t& links)
{
    const InfoFn getInformation = KernelFunction<InfoFn>("GetFileInformationByHandleEx");
    BasicInfo basic;
    StandardInfo standard;
    if (getInformation != nullptr && getInformation(handle, kBasicInfo, &basic, sizeof basic) &&
        getInformation(handle, kStandardInfo, &standard, sizeof standard)) {
        attributes = basic.fileAttributes;
        links = standard.numberOfLinks;
        return true;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information))
        return false;
    attributes = information.dwFileAttributes;
    links = information.nNumberOfLinks;
    return true;
}

bool IsReparsePoint(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Never shares delete access: while held, the entry keeps its name.
constexpr DWORD kSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
// Windows weighs sharing only for handles with data or delete access; one
// with attribute access alone would hold nothing. Read access (listing, for
// a folder) counts, and keeps nobody from reading or writing the entry.
constexpr DWORD kHoldAccess = FILE_READ_DATA;
// The entry itself, not a link's target; folders need backup semantics.
constexpr DWORD kOpenFlags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;

} // namespace

RCEntryHandle::~RCEntryHandle()
{
    Close();
}

bool RCEntryHandle::Close()
{
    // A file's last writes may fail only now (a delayed write on a network
    // share or a full disk): the result says so.
    const bool closed = handle_ == nullptr || CloseHandle(handle_) != 0;
    handle_ = nullptr;
    kind_ = kNone;
    return closed;
}

bool RCEntryHandle::Open(const char* path, Use use)
{
    path_.Assign(path);
    return Reopen(use);
}

bool RCEntryHandle::Reopen(Use use)
{
    Close();
    use_ = use;
    const DWORD access = FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | (use == kHold ? kHoldAccess : DELETE);
    // A claim shares nothing: any handle open on the entry with data or
    // delete access, in any process (on a network share, of any machine),
    // makes it fail, and none can be opened while it is held.
    HANDLE handle = SystemPath(path_.Text()).Open(access, use == kClaim ? 0 : kSharing, OPEN_EXISTING, kOpenFlags);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    handle_ = handle;
    return Classify();
}

bool RCEntryHandle::CreateNewFile(const char* path)
{
    Close();
    path_.Assign(path);
    use_ = kHold;
    // CREATE_NEW fails on any entry of that name, a link whose target is
    // missing included: nothing that exists is ever opened for writing, and
    // what is opened is the plain, empty file just made.
    HANDLE handle = SystemPath(path_.Text()).Open(GENERIC_WRITE | kHoldAccess | FILE_READ_ATTRIBUTES, kSharing,
                                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    handle_ = handle;
    kind_ = kFile;
    attributes_ = FILE_ATTRIBUTE_NORMAL;
    links_ = 1;
    linkItself_ = false;
    return true;
}

int32_t RCEntryHandle::Write(const uint8_t* data, int32_t length)
{
    DWORD written = 0;
    if (length <= 0 || !::WriteFile(handle_, data, static_cast<DWORD>(length), &written, nullptr))
        return 0;
    return static_cast<int32_t>(written);
}

bool RCEntryHandle::Flush()
{
    return FlushFileBuffers(handle_) != 0;
}

bool RCEntryHandle::SetTimes(uint64_t created, uint64_t accessed, uint64_t written)
{
    FILETIME times[3];
    const uint64_t values[3] = {created, accessed, written};
    for (int32_t i = 0; i < 3; ++i) {
        times[i].dwLowDateTime = static_cast<DWORD>(values[i]);
        times[i].dwHighDateTime = static_cast<DWORD>(values[i] >> 32);
    }
    return SetFileTime(handle_, &times[0], &times[1], &times[2]) != 0;
}

bool RCEntryHandle::Classify()
{
    if (!ReadAttributes(handle_, attributes_, links_)) {
        Close();
        return false;
    }
    linkItself_ = IsReparsePoint(attributes_);
    // The name is asked too: where opening followed a link, the object is
    // its target, and only the name still shows the link.
    if (linkItself_ || IsReparsePoint(SystemPath(path_.Text()).Attributes()))
        kind_ = kLink;
    else
        kind_ = (attributes_ & FILE_ATTRIBUTE_DIRECTORY) != 0 ? kFolder : kFile;
    return true;
}

RCEntryHandle::Identity RCEntryHandle::Object() const
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (kind_ == kNone || !GetFileInformationByHandle(handle_, &information))
        return Identity{};
    return Identity{information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
}

bool RCEntryHandle::SetAttributes(uint32_t attributes)
{
    // A link is never changed: its attributes may be those of its target.
    if (kind_ != kFile && kind_ != kFolder)
        return false;
    // Through the handle where Windows can; times of 0 stay as they are,
    // and "normal" goes with the others as SetFileAttributes adds it.
    BasicInfo information{};
    information.fileAttributes = attributes | FILE_ATTRIBUTE_NORMAL;
    if (SetThroughHandle(handle_, kBasicInfo, &information, sizeof information))
        return true;
    // Otherwise by name: the entry is held (nobody can delete or rename
    // it), so the name leads to the very object that was checked.
    return GetLastError() == ERROR_NOT_SUPPORTED && SystemPath(path_.Text()).SetAttributes(attributes);
}

bool RCEntryHandle::Delete()
{
    if (kind_ == kNone || use_ == kHold)
        return false;
    const bool folder = kind_ == kFolder || (attributes_ & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A file through the handle, and only when the handle is on the entry
    // itself: where opening followed a link, deleting through it would
    // delete the target. A folder always by name: removing a folder by name
    // never reaches any content (a folder with content cannot be removed, a
    // folder link goes as the link), and so the answer is the same on every
    // system (Wine accepts a by-handle deletion of a folder that is not
    // empty and then keeps the folder).
    if (!folder && (kind_ != kLink || linkItself_)) {
        if (SetDisposition(handle_, TRUE))
            return true;
        if (GetLastError() != ERROR_NOT_SUPPORTED)
            return false;
    }
    // By name: released first (it shares no delete access). Deleting a
    // link by name removes the link; whatever took the name meanwhile, a
    // folder with content cannot be removed and a file or link goes alone,
    // inside the folder that the caller holds.
    const Kind was = kind_;
    Close();
    const SystemPath path(path_.Text());
    if (folder ? path.RemoveFolder() : path.RemoveFile())
        return true;
    // Held again for what the caller does next, if it is still the same kind.
    if (!Reopen(use_) || kind_ != was)
        Close();
    return false;
}

bool RCEntryHandle::KeepAfterAll()
{
    return kind_ != kNone && SetDisposition(handle_, FALSE);
}
