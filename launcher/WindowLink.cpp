#include "launcher/WindowLink.h"

bool LinkWindow(HWND& window, const char* property, void* object)
{
    if (window == nullptr)
        return false;
    if (SetPropA(window, property, object))
        return true;
    DestroyWindow(window);
    window = nullptr;
    return false;
}
