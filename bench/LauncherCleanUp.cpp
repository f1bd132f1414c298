#include "bench/LauncherCleanUp.h"

#include "support/RCDirectory.h"

bool LauncherCleanUp(const char* folder)
{
    // As launch removes its work folder after the installer.
    RCDirectory remover;
    return remover.RemoveTree(folder, false, false);
}
