// A function that may be missing from a DLL (newer than the oldest Windows
// the program runs on), looked up at run time with its own type.
#pragma once
#include <windows.h>

// Null when the module is null or lacks the function. The cast goes through
// a plain function pointer type: GetProcAddress hands out every function as
// FARPROC, whose declared signature is not the function's.
template <typename Function>
Function GetProcAddressAs(HMODULE module, const char* name)
{
    if (module == nullptr)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
