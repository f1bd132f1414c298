// The two settings that a builder writes into the stub: where the payload
// begins (a decimal text) and the installer program to run. Each is a
// 25-byte area in the program's initialised data; only the bytes up to the
// first zero count.
#pragma once
#include <cstdint>

class RCAnsiStr;

class StubSettings {
public:
    static constexpr int32_t kAreaSize = 25;
    static constexpr int32_t kBlockSize = 2 * kAreaSize;

    // The two areas of a stub that no builder has touched, as a builder
    // finds them: the defaults "594984" and "lvxrun.exe", each followed by
    // filler that makes the pair unique in the program.
    static constexpr char kDefaultBlock[kBlockSize + 1] =
        "594984\0@@PayloadOffset@@"
        "lvxrun.exe\0@@Installer@@";

    // The PayloadOffset text converted by the C atoi rules.
    static int32_t PayloadOffset();
    static void PayloadOffsetText(RCAnsiStr& text);
    static void InstallerName(RCAnsiStr& name);
};
