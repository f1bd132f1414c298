#include "launcher/OwnedHandle.h"

OwnedHandle::~OwnedHandle()
{
    Reset();
}

void OwnedHandle::Reset(HANDLE handle)
{
    // A failed close leaves nothing to do: the handle is gone for us either way.
    if (handle_ != nullptr)
        CloseHandle(handle_);
    handle_ = handle;
}
