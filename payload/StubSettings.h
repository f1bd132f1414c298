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
    // The longest installer name an area holds before its zero.
    static constexpr int32_t kMaxInstallerName = kAreaSize - 1;

    // The two areas of a stub that no builder has touched, as a builder
    // finds them: the defaults "594984" and "lvxrun.exe", each zero-ended
    // and followed by filler up to the end of its 25 bytes; the filler makes
    // the pair unique in the program.
    static constexpr char kDefaultBlock[] =
        "594984\0" "@PayloadOffset.qm@" // 7 + 18 bytes
        "lvxrun.exe\0" "@Installer.qm@"; // 11 + 14 bytes
    static_assert(sizeof kDefaultBlock == kBlockSize + 1, "two areas of 25 bytes");

    // The PayloadOffset text converted by the C atoi rules.
    static int32_t PayloadOffset();
    static void InstallerName(RCAnsiStr& name);
};
