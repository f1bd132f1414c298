// Waits and time limits of the Windows tests. scripts/wine-run sets
// QM_WAIT_SCALE where 32-bit programs run under emulation, which starts
// each process in about a second and runs it several times slower: every
// limit a test sets on a process or a window is stretched by it, so that
// the same test is as steady there as natively.
#pragma once
#include <windows.h>

#include <cstdlib>

namespace testwin {

// QM_WAIT_SCALE, 1 when it is unset or not a number from 1 to 100.
inline DWORD WaitScale()
{
    const char* text = std::getenv("QM_WAIT_SCALE");
    const long scale = text != nullptr ? std::strtol(text, nullptr, 10) : 1;
    return scale >= 1 && scale <= 100 ? static_cast<DWORD>(scale) : 1;
}

// A limit in milliseconds, stretched.
inline DWORD Scaled(DWORD milliseconds)
{
    return milliseconds * WaitScale();
}

} // namespace testwin
