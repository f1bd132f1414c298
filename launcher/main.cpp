#include <windows.h>

#include "payload/StubSettings.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return StubSettings::PayloadOffset() < 0 ? 1 : 0; // keeps the settings in the program
}
