// WindowLink: ties a window to the object that handles its messages. The
// object is kept in a window property; its window procedure finds it there
// with GetPropA under the same name.
#pragma once
#include <windows.h>

// Links a window that was just made to its object. A window that cannot be
// linked is of no use: it is destroyed and `window` set to null. False then,
// and when `window` is null already (the window could not be made).
bool LinkWindow(HWND& window, const char* property, void* object);
