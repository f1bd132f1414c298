// The Windows version query: what it makes of a version record, and what it
// reports when Wine plays different Windows versions. For the latter, the
// probe program beside this one is copied under names of its own, each
// given a version through Wine's per-program setting
// HKCU\Software\Wine\AppDefaults\<exe name>\Version.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "support/WinHandle.h"
#include "support/WindowsVersion.h"
#include "tests/shared/TestFolder.h"
#include "tests/win/WaitScale.h"
#include "tests/win/WineHelpers.h"

using testwin::OwnFolder;

namespace {

OSVERSIONINFOA Record(DWORD major, DWORD minor, DWORD build, DWORD platform, const char* servicePack)
{
    OSVERSIONINFOA record;
    std::memset(&record, 0, sizeof record);
    record.dwOSVersionInfoSize = sizeof record;
    record.dwMajorVersion = major;
    record.dwMinorVersion = minor;
    record.dwBuildNumber = build;
    record.dwPlatformId = platform;
    std::strncpy(record.szCSDVersion, servicePack, sizeof record.szCSDVersion - 1);
    return record;
}

// Wine's version setting for one program name, removed again afterwards.
class WineVersionSetting {
public:
    WineVersionSetting(const std::string& exeName, const char* version)
        : key_("Software\\Wine\\AppDefaults\\" + exeName)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return;
        ok_ = RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                             static_cast<DWORD>(std::strlen(version) + 1)) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~WineVersionSetting() { RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str()); }
    WineVersionSetting(const WineVersionSetting&) = delete;
    WineVersionSetting& operator=(const WineVersionSetting&) = delete;

    bool Ok() const { return ok_; }

private:
    std::string key_;
    bool ok_ = false;
};

// Runs a program with its standard output going to a file; returns that output.
std::string RunForOutput(const std::string& program, const std::string& outputFile)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    std::string output;
    {
        FileHandle out(CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.Valid())
            return "(no output file)";
        STARTUPINFOA startup;
        std::memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out.Get();
        startup.hStdError = out.Get();
        PROCESS_INFORMATION process;
        std::string commandLine = "\"" + program + "\"";
        if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &process))
            return "(not started)";
        OwnedHandle processHandle(process.hProcess);
        OwnedHandle threadHandle(process.hThread);
        if (WaitForSingleObject(process.hProcess, testwin::Scaled(60000)) != WAIT_OBJECT_0)
            return "(did not end)";
    }
    if (!TestFolder::ReadFile(outputFile, &output))
        return "(output unreadable)";
    return output;
}

} // namespace

TEST(WindowsVersion, ReadsTheRecord)
{
    struct Case {
        DWORD major, minor, build, platform;
        const char* servicePack;
        bool isNT;
        const char* description;
    };
    const Case cases[] = {
        {5, 1, 2600, VER_PLATFORM_WIN32_NT, "Service Pack 3", true, "5.1 Bild2600 Service Pack 3"},
        {6, 1, 7601, VER_PLATFORM_WIN32_NT, "Service Pack 1", true, "6.1 Bild7601 Service Pack 1"},
        {6, 2, 9200, VER_PLATFORM_WIN32_NT, "", true, "6.2 Bild9200 "}, // the blank stays
        // Windows 98 SE: the build number's upper half repeats 4.10.
        {4, 10, 0x040A08AE, VER_PLATFORM_WIN32_WINDOWS, " A ", false, "4.10 Bild67766446  A "},
        {3, 10, 0, VER_PLATFORM_WIN32s, "", false, "3.10 Bild0 "},
        // A build number with the top bit set passes on as a negative int32.
        {4, 0, 0xC0000457, VER_PLATFORM_WIN32_WINDOWS, "", false, "4.0 Bild-1073740713 "},
    };
    for (const Case& c : cases) {
        OSVERSIONINFOA record = Record(c.major, c.minor, c.build, c.platform, c.servicePack);
        int32_t major = -1, minor = -1, build = -1;
        bool isNT = !c.isNT;
        RCAnsiStr description("old text that goes");
        ReadWindowsVersion(record, &major, &minor, &build, &description, &isNT);
        EXPECT_EQ(major, static_cast<int32_t>(c.major));
        EXPECT_EQ(minor, static_cast<int32_t>(c.minor));
        EXPECT_EQ(build, static_cast<int32_t>(c.build));
        EXPECT_EQ(isNT, c.isNT) << c.description;
        EXPECT_STREQ(description.Text(), c.description);
    }
}

TEST(WindowsVersion, AbsentOutputsAreNotWritten)
{
    OSVERSIONINFOA record = Record(6, 1, 7601, VER_PLATFORM_WIN32_NT, "Service Pack 1");
    int32_t major = 4, minor = 0, build = 0;
    bool isNT = false;
    RCAnsiStr description("preset");

    ReadWindowsVersion(record, nullptr, nullptr, nullptr, nullptr, &isNT);
    EXPECT_TRUE(isNT);
    ReadWindowsVersion(record, &major, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(major, 6);
    EXPECT_EQ(minor, 0);
    EXPECT_EQ(build, 0);
    EXPECT_STREQ(description.Text(), "preset");
    ReadWindowsVersion(record, nullptr, nullptr, nullptr, nullptr, nullptr); // touches nothing

    EXPECT_TRUE(QueryWindowsVersion(nullptr, nullptr, nullptr, nullptr, nullptr));
}

// A service-pack text that fills its 128 bytes with no terminator is read
// only to the end of the record.
TEST(WindowsVersion, ServicePackTextEndsWithTheRecord)
{
    OSVERSIONINFOA record = Record(6, 1, 7601, VER_PLATFORM_WIN32_NT, "");
    std::memset(record.szCSDVersion, 'S', sizeof record.szCSDVersion);
    RCAnsiStr description;
    ReadWindowsVersion(record, nullptr, nullptr, nullptr, &description, nullptr);
    EXPECT_EQ(description.Text(), "6.1 Bild7601 " + std::string(sizeof record.szCSDVersion, 'S'));
}

TEST(WindowsVersion, ReportsWhatWinePlays)
{
    const std::string probe = OwnFolder() + "\\qm_version_probe.exe";
    ASSERT_NE(GetFileAttributesA(probe.c_str()), INVALID_FILE_ATTRIBUTES) << probe;
    TestFolder scratch("version");

    struct Case {
        const char* version;
        const char* report; // answered, answered bare, major, minor, build, NT, [description]
    };
    const Case cases[] = {
        {"win7", "1 1 6 1 7601 1 [6.1 Bild7601 Service Pack 1]\n"},
        {"winxp", "1 1 5 1 2600 1 [5.1 Bild2600 Service Pack 3]\n"},
        {"win8", "1 1 6 2 9200 1 [6.2 Bild9200 ]\n"},
        {"win98", "1 1 4 10 67766446 0 [4.10 Bild67766446  A ]\n"},
    };
    for (const Case& c : cases) {
        // A name per run, so that the setting applies to this probe alone.
        std::string name = "qmver-" + std::string(c.version) + "-" + std::to_string(GetCurrentProcessId()) + ".exe";
        std::string copy = scratch.Join(name);
        ASSERT_TRUE(CopyFileA(probe.c_str(), copy.c_str(), FALSE)) << copy;
        WineVersionSetting setting(name, c.version);
        ASSERT_TRUE(setting.Ok()) << name;
        std::string report = RunForOutput(copy, scratch.Join(std::string(c.version) + ".txt"));
        // The C runtime may write "\r\n" for "\n".
        std::string::size_type cr;
        while ((cr = report.find('\r')) != std::string::npos)
            report.erase(cr, 1);
        EXPECT_EQ(report, c.report) << c.version;
    }
}
