// OwnedHandle: a Windows kernel handle (process, thread, token) that is
// closed when its owner goes out of scope or takes another one. Null means
// none.
#pragma once
#include <windows.h>

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~OwnedHandle();
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    HANDLE Get() const { return handle_; }
    // Closes the handle held, if any, and takes the given one.
    void Reset(HANDLE handle = nullptr);

private:
    HANDLE handle_;
};
