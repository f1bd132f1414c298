// A GUI program that imports the wide-character form of a Windows function,
// for the test that the product check refuses such a program.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    wchar_t name[MAX_PATH];
    return GetModuleFileNameW(nullptr, name, MAX_PATH) == 0 ? 1 : 0;
}
