// Stand-in, linked only while the launch source is not in the tree. Never
// reached: the stand-in extraction never succeeds.
#include "launcher/Launch.h"

bool launch(UserInterface&)
{
    return true;
}
