// A GUI program that calls one user32 function through the linker's own
// delay-load library, for the test that the product check reads such
// tables: on 32 bits that library leaves the address table empty, so the
// call would jump to address 0, and the check must say so.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return MessageBeep(MB_OK) ? 0 : 1;
}
