// The control for the planted-DLL test: an ordinary program that imports
// user32 at load time, as most programs do. Under Wine, with a native
// version.dll preferred, it loads the one planted beside it: proof that the
// test's plant works.
#include <windows.h>

int main()
{
    return GetSystemMetrics(SM_CXSCREEN) > 0 ? 0 : 1;
}
