// The shutdown privilege of the test program's own token, read and changed
// with the plain Windows calls (not the code under test).
#pragma once

class ShutdownPrivilege {
public:
    // Whether the token holds the privilege, and whether it is switched on.
    static bool Held();
    static bool Enabled();
    // Takes the privilege out of the token for good (for this process).
    static bool Remove();
};
