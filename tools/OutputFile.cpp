#include "tools/OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include "tools/HostFolder.h"
#include "tools/SystemError.h"

#ifdef _WIN32
#include <windows.h>

#include "support/WinHandle.h"
#include "tools/WideText.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// A temporary name: the target's, this mark, 6 letters or digits, and the
// extension (so that no "*.exe" takes a half-written installer).
const std::string kTempMark = ".qm-build-";
const std::string kTempExtension = ".tmp";

// The path of `name` in the folder of `target`.
std::string NextTo(const std::string& target, const std::string& name)
{
    return target.substr(0, target.size() - HostFolder::Name(target).size()) + name;
}

#ifdef _WIN32
// Names taken by other runs are passed over; after this many, something
// else is wrong.
constexpr uint32_t kAttempts = 100;

// 6 letters or digits, different for every attempt, process and moment.
std::string RandomLetters(uint32_t attempt)
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint64_t x = static_cast<uint64_t>(now.QuadPart) ^ (uint64_t{GetCurrentProcessId()} << 32) ^ attempt;
    std::string letters;
    for (int i = 0; i < 6; ++i) {
        x = x * 6364136223846793005ULL + 1442695040888963407ULL; // one step of a 64-bit LCG
        letters += kLetters[(x >> 33) % (sizeof kLetters - 1)];
    }
    return letters;
}
#endif

// The temporary files not yet committed, for the interruption handlers: at
// most two exist at a time (the unsigned and the signed installer). A signal
// handler can reach nothing but such plain, preallocated storage.
constexpr int kSlots = 2;
constexpr size_t kPathRoom = 4096;
struct PendingFiles {
    volatile std::sig_atomic_t used[kSlots];
    char path[kSlots][kPathRoom];
};
PendingFiles g_pending; // the one piece of global state the builder has
volatile std::sig_atomic_t g_interrupted = 0;

#ifdef _WIN32
BOOL WINAPI OnConsoleBreak(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    g_interrupted = 1; // the builder stops at the next piece and cleans up
    return TRUE;
}
#else
void OnSignal(int signal)
{
    for (int i = 0; i < kSlots; ++i) {
        if (g_pending.used[i] != 0)
            unlink(g_pending.path[i]);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
#endif

void InstallHandlers()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&action.sa_mask, s); // one handler at a time
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // A signal that was ignored when the builder started stays ignored.
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
            sigaction(s, &action, nullptr);
    }
#endif
}

// Notes a temporary file for the handlers; -1 when its path is too long to
// note (it is then only removed the ordinary way).
int Note(const std::string& path)
{
    if (path.size() >= kPathRoom)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (g_pending.used[i] == 0) {
            std::memcpy(g_pending.path[i], path.c_str(), path.size() + 1);
            g_pending.used[i] = 1;
            return i;
        }
    }
    return -1;
}

void Forget(int slot)
{
    if (slot >= 0)
        g_pending.used[slot] = 0;
}

} // namespace

bool OutputFile::Interrupted()
{
    return g_interrupted != 0;
}

bool OutputFile::CheckTarget(const std::string& target, const std::string& keep, std::string& error)
{
#ifdef _WIN32
    std::wstring wide = WideText::FromUtf8(target);
    // Devices (NUL, COM1, ...) open too: open what is there and ask what it is.
    auto identify = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION* info, DWORD* type) {
        FileHandle h(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!h.Valid())
            return false;
        *type = GetFileType(h.Get());
        return *type != FILE_TYPE_DISK || GetFileInformationByHandle(h.Get(), info);
    };
    BY_HANDLE_FILE_INFORMATION info{}, keepInfo{};
    DWORD type = 0, keepType = 0;
    if (!wide.empty() && !identify(wide, &info, &type)) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return true; // a new file
        error = "cannot look at the output " + target + ": " + SystemError::Of(code);
        return false;
    }
    if (wide.empty() || type != FILE_TYPE_DISK ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = "the output " + target + " exists and is not a regular file; not replaced";
        return false;
    }
    if (identify(WideText::FromUtf8(keep), &keepInfo, &keepType) && keepType == FILE_TYPE_DISK &&
        keepInfo.dwVolumeSerialNumber == info.dwVolumeSerialNumber && keepInfo.nFileIndexHigh == info.nFileIndexHigh &&
        keepInfo.nFileIndexLow == info.nFileIndexLow) {
        error = "the output " + target + " is the stub itself; not replaced";
        return false;
    }
    return true;
#else
    struct stat st;
    if (lstat(target.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return true; // a new file
        error = "cannot look at the output " + target + ": " + SystemError::Last();
        return false;
    }
    // A link is replaced, not followed, when the installer is put in place;
    // still, what it points at must be a regular file and not the stub.
    if (stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "the output " + target + " exists and is not a regular file; not replaced";
        return false;
    }
    struct stat kept;
    if (stat(keep.c_str(), &kept) == 0 && kept.st_dev == st.st_dev && kept.st_ino == st.st_ino) {
        error = "the output " + target + " is the stub itself; not replaced";
        return false;
    }
    return true;
#endif
}

OutputFile::~OutputFile()
{
    if (!temp_.empty()) {
        file_.Close();
        HostFile::Remove(temp_);
    }
    Forget(slot_);
}

std::vector<std::string> OutputFile::Leftovers(const std::string& target)
{
    // The name, the mark, 6 letters or digits, the extension.
    const std::string head = HostFolder::Name(target) + kTempMark;
    const std::string folder = HostFolder::Parent(target);
    std::vector<HostEntry> entries;
    std::vector<std::string> found;
    std::string error;
    if (!HostFolder::List(folder, entries, error))
        return found; // no folder to list: the build itself says so
    for (const HostEntry& e : entries) {
        const std::string& n = e.name;
        if (e.kind == HostEntry::File && n.size() == head.size() + 6 + kTempExtension.size() &&
            n.compare(0, head.size(), head) == 0 && n.compare(n.size() - kTempExtension.size(), std::string::npos,
                                                              kTempExtension) == 0)
            found.push_back(NextTo(target, n));
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool OutputFile::Create(const std::string& target, std::string& error)
{
    target_ = target;
    InstallHandlers();
    // Made new, with a name of its own, so that no other run can take it.
#ifdef _WIN32
    std::wstring wide;
    for (uint32_t attempt = 0; attempt < kAttempts && temp_.empty(); ++attempt) {
        const std::string name = target + kTempMark + RandomLetters(attempt) + kTempExtension;
        wide = WideText::FromUtf8(name);
        FileHandle made(wide.empty() ? INVALID_HANDLE_VALUE
                                     : CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (made.Valid())
            temp_ = name;
        else if (GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (temp_.empty()) {
        error = "cannot create a temporary file beside " + target + ": " + SystemError::Last();
        return false;
    }
#else
    std::string pattern = target + kTempMark + "XXXXXX" + kTempExtension;
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = mkstemps(buffer.data(), static_cast<int>(kTempExtension.size()));
    if (fd < 0) {
        error = "cannot create a temporary file beside " + target + ": " + SystemError::Last();
        return false;
    }
    temp_ = buffer.data();
    close(fd);
#endif
    slot_ = Note(temp_);
    if (!file_.Open(temp_, "wb")) {
        error = "cannot write " + temp_ + ": " + SystemError::Last();
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
        error = "cannot write " + temp_ + ": " + SystemError::Last();
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
        error = "cannot set the permissions of " + temp_ + ": " + SystemError::Last();
        return false;
    }
#endif
    if (!HostFile::Rename(temp_, target_)) {
        error = "cannot rename " + temp_ + " to " + target_ + ": " + SystemError::Last();
        return false;
    }
    temp_.clear();
    Forget(slot_);
    slot_ = -1;
    return true;
}
