// WinHandle: one Windows handle, closed when its owner goes out of scope or
// takes another. The traits say which value means "none" (null for process,
// thread and token handles; INVALID_HANDLE_VALUE for what CreateFile and
// FindFirstFile return) and how the handle is closed.
#pragma once
#include <windows.h>

template <typename Traits>
class WinHandle {
public:
    explicit WinHandle(HANDLE handle = Traits::None()) : handle_(handle) {}
    ~WinHandle() { Close(); }
    WinHandle(const WinHandle&) = delete;
    WinHandle& operator=(const WinHandle&) = delete;

    bool Valid() const { return handle_ != Traits::None(); }
    HANDLE Get() const { return handle_; }

    // Closes the handle held, if any, and takes the given one. False when
    // the close failed (a buffered write may be lost with a file); the old
    // handle is gone for its owner either way.
    bool Reset(HANDLE handle = Traits::None())
    {
        bool closed = !Valid() || Traits::Close(handle_);
        handle_ = handle;
        return closed;
    }
    bool Close() { return Reset(); }

private:
    HANDLE handle_;
};

// Process, thread and token handles: null is none.
struct KernelHandleTraits {
    static HANDLE None() { return nullptr; }
    static bool Close(HANDLE handle) { return CloseHandle(handle) != 0; }
};
// Files and folders opened with CreateFileA or CreateFileW.
struct FileHandleTraits {
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return CloseHandle(handle) != 0; }
};
// Searches begun with FindFirstFileA or FindFirstFileW.
struct FindHandleTraits {
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) { return FindClose(handle) != 0; }
};

using OwnedHandle = WinHandle<KernelHandleTraits>;
using FileHandle = WinHandle<FileHandleTraits>;
using FindHandle = WinHandle<FindHandleTraits>;
