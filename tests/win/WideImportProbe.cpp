// A GUI program that imports wide-character forms of Windows functions, for
// the test that the product check refuses such a program: for the ones the
// stub does not use (GetModuleFileNameW, GetWindowTextW), not for the ones it
// may use (MessageBoxW).
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    wchar_t name[MAX_PATH];
    if (GetModuleFileNameW(nullptr, name, MAX_PATH) == 0 || GetWindowTextW(GetDesktopWindow(), name, MAX_PATH) < 0)
        MessageBoxW(nullptr, name, name, MB_OK);
    return 0;
}
