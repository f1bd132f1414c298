// Stand-in, linked only while the extraction source is not in the tree:
// there is nothing to unpack, silently (as with no payload offset).
#include "launcher/Extract.h"

bool extract(UserInterface&)
{
    return false;
}
