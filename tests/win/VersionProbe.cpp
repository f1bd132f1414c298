// Prints what QueryWindowsVersion reports, for tests that run this program
// under names that Wine answers with different Windows versions:
//   <answered> <answered with no outputs> <major> <minor> <build> <NT> [<description>]
#include <cstdio>

#include "support/WindowsVersion.h"

int main()
{
    int32_t major = -1;
    int32_t minor = -1;
    int32_t build = -1;
    bool isNT = false;
    RCAnsiStr description("unset");
    bool answered = QueryWindowsVersion(&major, &minor, &build, &description, &isNT);
    bool bare = QueryWindowsVersion(nullptr, nullptr, nullptr, nullptr, nullptr);
    std::printf("%d %d %d %d %d %d [%s]\n", answered ? 1 : 0, bare ? 1 : 0, static_cast<int>(major),
                static_cast<int>(minor), static_cast<int>(build), isNT ? 1 : 0, description.Text());
    return 0;
}
