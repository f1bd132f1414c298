// The exit status of the real stub, for the tools that start installers
// silently and read it: the installer's own exit code when it ran, and a
// distinct code of the launcher's own for each way the launcher fails (the
// table in the README and launcher/ExitStatus.h). Installers are packed by
// qm-build.exe with the installer fixture; the stub runs under the window
// watcher, which dismisses the message boxes and reports them.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "launcher/ExitStatus.h"
#include "payload/StubSettings.h"
#include "tests/shared/TestFolder.h"
#include "tests/win/WatchedRun.h"
#include "tests/win/WineHelpers.h"
#include "tools/ChildProcess.h"

namespace {

// How the installer is made from the fixture.
enum class Payload {
    Fixture,    // the installer fixture, which ends with QM_FIXTURE_EXIT
    Stored,     // the same, stored (--level 0) instead of compressed
    NotAProgram, // a text file under the installer's name: it cannot be started
    Damaged,    // the fixture, with a byte of the payload changed
    Bare,       // the stub as built: its default offset finds no payload
    None,       // the stub alone, its payload offset set to 0
};

struct Case {
    const char* name;
    Payload payload;
    const char* installerExit; // QM_FIXTURE_EXIT
    uint32_t status;
    const char* message; // UTF-8; empty: no message box
};

std::string Build(const TestFolder& scratch, const Case& c)
{
    const std::string stub = testwin::ThroughZ(QM_STUB);
    const std::string setup = scratch.Join(std::string(c.name) + ".exe");
    if (c.payload == Payload::Bare)
        return CopyFileA(stub.c_str(), setup.c_str(), FALSE) ? setup : std::string();
    if (c.payload == Payload::None) {
        // What a builder would leave: the offset's text "0".
        std::string bytes;
        const std::string block(StubSettings::kDefaultBlock, StubSettings::kBlockSize);
        if (!TestFolder::ReadFile(stub, &bytes) || bytes.find(block) == std::string::npos)
            return std::string();
        bytes.replace(bytes.find(block), 6, std::string("0\0\0\0\0\0", 6));
        return scratch.WriteFile(std::string(c.name) + ".exe", bytes) ? setup : std::string();
    }

    const std::string source = std::string(c.name) + "-src";
    std::string program = "not a program\r\n";
    if (c.payload != Payload::NotAProgram && !TestFolder::ReadFile(testwin::ThroughZ(QM_INSTALLER_FIXTURE), &program))
        return std::string();
    std::string output;
    if (!scratch.WriteFile(source + "\\lvxrun.exe", program) ||
        ChildProcess::Run({testwin::ThroughZ(QM_BUILD_TOOL), "-q", "--stub", stub, "--source", scratch.Join(source),
                           "--installer", "lvxrun.exe", "--output", setup, "--level",
                           c.payload == Payload::Stored ? "0" : "6"},
                          output) != 0)
        return std::string();
    if (c.payload == Payload::Damaged) {
        std::string bytes;
        std::string stubBytes;
        if (!TestFolder::ReadFile(setup, &bytes) || !TestFolder::ReadFile(stub, &stubBytes))
            return std::string();
        // Well inside the compressed fixture: the inflated bytes differ, or
        // the stream breaks.
        const size_t at = stubBytes.size() + (bytes.size() - stubBytes.size()) / 2;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
        if (!scratch.WriteFile(std::string(c.name) + ".exe", bytes))
            return std::string();
    }
    return setup;
}

} // namespace

TEST(ExitStatus, TellsTheInstallersCodeOrTheLaunchersOwnFailure)
{
    const Case cases[] = {
        {"installer-ok", Payload::Fixture, "0", 0, ""},
        {"installer-failed", Payload::Fixture, "1603", 1603, ""},
        {"installer-large-code", Payload::Fixture, "3221225477", 3221225477u, ""},
        {"installer-stored", Payload::Stored, "7", 7, ""},
        {"not-a-program", Payload::NotAProgram, "0", ExitStatus::kCannotRun, u8"プログラムを実行できませんでした。"},
        {"damaged", Payload::Damaged, "0", ExitStatus::kDamaged, u8"ファイルが破損しています。"},
        {"bare-stub", Payload::Bare, "0", ExitStatus::kDamaged, u8"ファイルが破損しています。"},
        {"no-payload", Payload::None, "0", ExitStatus::kNoPayload, ""},
    };
    TestFolder scratch("exit-status");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string setup = Build(scratch, c);
        ASSERT_FALSE(setup.empty());
        WatchedRun run = Watch(setup, "watch", {{"QM_FIXTURE_EXIT", c.installerExit}});
        EXPECT_EQ(run["timeout"], "");
        EXPECT_EQ(run["exit"], std::to_string(static_cast<long>(c.status)));
        EXPECT_EQ(run["box1.text.wide"], c.message);
        EXPECT_EQ(run["box2.text"], "");
    }
}
