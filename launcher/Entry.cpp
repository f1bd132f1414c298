// The process's entry point (QmEntry, named to the linker): it calls WinMain
// (main.cpp), where the program itself starts, and ends the process with its
// status. The stub needs nothing of the C runtime's own
// start-up (no command line, no static constructors, no thread-local data,
// no run-time relocations), and leaving it out keeps the program small: the
// C runtime DLL sets itself up when it is loaded.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

extern "C" void QmEntry()
{
    int status = WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWDEFAULT);
    ExitProcess(static_cast<UINT>(status));
}
