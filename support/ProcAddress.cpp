#include "support/ProcAddress.h"

FARPROC KernelProcAddress(const char* name)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
}
