// A function that may be missing from a DLL (newer than the oldest Windows
// the program runs on), looked up at run time with its own type.
#pragma once
#include <windows.h>

// The cast goes through a plain function pointer type: GetProcAddress hands
// out every function as FARPROC, whose declared signature is not the
// function's.
template <typename Function>
Function AsFunction(FARPROC function)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(function));
}

// Null when the module is null or lacks the function.
template <typename Function>
Function GetProcAddressAs(HMODULE module, const char* name)
{
    if (module == nullptr)
        return nullptr;
    return AsFunction<Function>(GetProcAddress(module, name));
}

// A function of kernel32 (loaded in every process, from the system folder);
// null when this Windows lacks it.
FARPROC KernelProcAddress(const char* name);
template <typename Function>
Function KernelFunction(const char* name)
{
    return AsFunction<Function>(KernelProcAddress(name));
}
