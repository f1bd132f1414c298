// The stub's entry point. The stub needs nothing of the C runtime's own
// start-up (no command line, no static constructors, no thread-local data,
// no run-time relocations), and leaving it out keeps the program small: the
// C runtime DLL sets itself up when it is loaded. The process ends with the
// program's status.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

extern "C" void QmEntry()
{
    int status = WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWDEFAULT);
    ExitProcess(static_cast<UINT>(status));
}
