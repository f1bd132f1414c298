#include "bench/LauncherCleanUp.h"

#include "support/RCTreeClaim.h"

bool LauncherCleanUp(const char* folder)
{
    // As launch removes its work folder once nothing uses it: one claim of
    // the whole tree, and the deletion through it.
    RCTreeClaim claim;
    return claim.Claim(folder) && claim.Delete();
}
