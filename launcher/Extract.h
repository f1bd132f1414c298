// Unpacks the payload archive at the end of the program into the work folder.
#pragma once

class UserInterface;

// True when the archive was unpacked completely. Every failure except the
// two silent ones (no payload offset; the program's own file cannot be
// opened or positioned) has been shown to the user by then. Lets the user
// interface process its messages between archive records.
bool extract(UserInterface& ui);
