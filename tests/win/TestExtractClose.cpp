// A file whose close fails is a file that was not written: on a network
// share or a full disk the system may report a write that it held back
// only when the handle is closed. This program stands in for Windows'
// CloseHandle (its import slot is defined here, as the stub's late imports
// define theirs) and makes the close of one extracted file fail, after
// closing it for real. On a share a close need not report even that: there
// every file is flushed first, and this program stands in for
// FlushFileBuffers too.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>

#include "launcher/ExitStatus.h"
#include "launcher/Extract.h"
#include "launcher/Messages.h"
#include "launcher/WorkFolder.h"
#include "support/RCPath.h"
#include "payload/PayloadWriter.h"
#include "tests/shared/TestArchive.h"
#include "tests/win/ExtractionSite.h"
#include "tests/win/RecordingUi.h"
#include "tests/win/WineHelpers.h"

using testkit::MakePayload;
using testkit::Record;

namespace {

// The file whose close fails, by the end of its name.
std::string failingName;

bool NamesTheFailingFile(HANDLE handle)
{
    if (failingName.empty())
        return false;
    // FILE_NAME_INFO (class 2 of GetFileInformationByHandleEx, Vista on):
    // the length in bytes, then the name (UTF-16, without the drive).
    struct {
        DWORD length;
        WCHAR name[MAX_PATH];
    } name{};
    using InfoFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
    static const InfoFn information = reinterpret_cast<InfoFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx")));
    if (information == nullptr || !information(handle, 2, &name, sizeof name))
        return false; // not a file
    const std::wstring text(name.name, name.length / sizeof(WCHAR));
    const std::wstring wanted = L"\\" + std::wstring(failingName.begin(), failingName.end());
    return text.size() >= wanted.size() && text.compare(text.size() - wanted.size(), wanted.size(), wanted) == 0;
}

BOOL WINAPI FailingCloseHandle(HANDLE handle)
{
    using CloseFn = BOOL(WINAPI*)(HANDLE);
    static const CloseFn realClose = reinterpret_cast<CloseFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CloseHandle")));
    const bool fail = NamesTheFailingFile(handle);
    if (!realClose(handle))
        return FALSE;
    if (!fail)
        return TRUE;
    SetLastError(ERROR_NETNAME_DELETED); // what a share reports for a lost write
    return FALSE;
}

// The file whose flush fails, by the end of its name, and how many flushes
// there were.
std::string failingFlush;
int flushes = 0;

BOOL WINAPI FailingFlushFileBuffers(HANDLE handle)
{
    using FlushFn = BOOL(WINAPI*)(HANDLE);
    static const FlushFn realFlush = reinterpret_cast<FlushFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "FlushFileBuffers")));
    ++flushes;
    std::swap(failingName, failingFlush);
    const bool fail = NamesTheFailingFile(handle);
    std::swap(failingName, failingFlush);
    if (!realFlush(handle))
        return FALSE;
    if (!fail)
        return TRUE;
    SetLastError(ERROR_NETNAME_DELETED); // the server went away
    return FALSE;
}

} // namespace

#if defined(_WIN64)
#define QM_CLOSE_SLOT "__imp_CloseHandle"
#define QM_FLUSH_SLOT "__imp_FlushFileBuffers"
#else
#define QM_CLOSE_SLOT "__imp__CloseHandle@4"
#define QM_FLUSH_SLOT "__imp__FlushFileBuffers@4"
#endif
extern "C" {
// Every call of CloseHandle and FlushFileBuffers in this program goes
// through these slots.
BOOL(WINAPI* qmCloseHandleSlot)(HANDLE) __asm__(QM_CLOSE_SLOT) = FailingCloseHandle;
BOOL(WINAPI* qmFlushSlot)(HANDLE) __asm__(QM_FLUSH_SLOT) = FailingFlushFileBuffers;
}

TEST(ExtractClose, AFailedCloseIsAFailedWriteAndTheExtractionStops)
{
    const std::string content(70000, 'c');
    const std::string payload = MakePayload([&](PayloadWriter& w) {
        w.File("first.txt", "1", 1, Record(0x20));
        w.Folder("sub", Record(0x10));
        w.File("empty.dat", "", 0, Record(0x20));
        w.File("big.dat", content.data(), static_cast<int64_t>(content.size()), Record(0x21));
        w.Up();
        w.File("after.txt", "2", 1, Record(0x20));
        w.Up();
    });
    const std::string stub = "MZ" + std::string(3000, 's');

    const struct {
        const char* failing;
    } cases[] = {{"empty.dat"}, {"big.dat"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        ExtractionSite site("extract-close");
        const std::string combined = site.Write("combined.exe", stub + payload);
        ASSERT_FALSE(combined.empty());
        RecordingUi ui;
        failingName = c.failing;
        const bool ok = ExtractPayload(ui, combined.c_str(), static_cast<int32_t>(stub.size()),
                                       site.WorkFolder().c_str());
        failingName.clear();

        EXPECT_FALSE(ok);
        ASSERT_EQ(ui.shown.size(), 1u);
        EXPECT_EQ(ui.shown[0].text, Messages::kFileWriteFailed);
        EXPECT_EQ(ui.exitStatus, ExitStatus::kFileWriteFailed);
        // Nothing after the failing file.
        EXPECT_FALSE(testwin::Exists(site.WorkFolder() + "\\after.txt"));
        EXPECT_TRUE(testwin::Exists(site.WorkFolder() + "\\first.txt"));
    }

    // The stand-in changes nothing else: the same payload unpacks whole.
    ExtractionSite site("extract-close");
    const std::string combined = site.Write("combined.exe", stub + payload);
    RecordingUi ui;
    EXPECT_TRUE(ExtractPayload(ui, combined.c_str(), static_cast<int32_t>(stub.size()), site.WorkFolder().c_str()));
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_EQ(testwin::Attributes(site.WorkFolder() + "\\sub\\big.dat") & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

// A work folder on a file server (a redirected application-data folder):
// every file is flushed before its close, and a flush that fails is a
// failed write, which ends the extraction before the installer could
// start. On a local disk nothing is flushed.
TEST(ExtractClose, OnAShareAFailedFlushIsAFailedWrite)
{
    const std::string payload = MakePayload([&](PayloadWriter& w) {
        w.File("first.txt", "1", 1, Record(0x20));
        w.File("setup.exe", "MZ", 2, Record(0x20));
        w.File("after.txt", "2", 1, Record(0x20));
        w.Up();
    });
    const std::string stub = "MZ" + std::string(3000, 's');
    ExtractionSite site("extract-flush");
    const std::string combined = site.Write("combined.exe", stub + payload);
    ASSERT_FALSE(combined.empty());
    const int32_t offset = static_cast<int32_t>(stub.size());

    {
        SCOPED_TRACE("a local disk");
        RecordingUi ui;
        flushes = 0;
        EXPECT_TRUE(ExtractPayload(ui, combined.c_str(), offset, site.WorkFolder().c_str()));
        EXPECT_EQ(flushes, 0);
    }

    ASSERT_FALSE(site.Write("share\\readme.txt", "share").empty());
    const std::string server = "qmflush" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(testwin::MapShare(site.Scratch(), server, "profiles", site.Scratch() + "\\share"));
    const std::string base = "\\\\" + server + "\\profiles\\AppData";
    ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
    RCPath work;
    SetToWorkFolder(work, base.c_str());
    for (const char* failing : {"", "setup.exe"}) {
        SCOPED_TRACE(*failing != '\0' ? "a flush fails" : "every flush succeeds");
        RecordingUi ui;
        flushes = 0;
        failingFlush = failing;
        const bool ok = ExtractPayload(ui, combined.c_str(), offset, work.Text());
        failingFlush.clear();
        if (*failing == '\0') {
            EXPECT_TRUE(ok);
            EXPECT_EQ(flushes, 3);
            EXPECT_TRUE(ui.shown.empty());
            continue;
        }
        EXPECT_FALSE(ok);
        ASSERT_EQ(ui.shown.size(), 1u);
        EXPECT_EQ(ui.shown[0].text, Messages::kFileWriteFailed);
        EXPECT_EQ(ui.exitStatus, ExitStatus::kFileWriteFailed);
        EXPECT_FALSE(testwin::Exists(std::string(work.Text()) + "\\after.txt"));
    }
    EXPECT_TRUE(testwin::UnmapShare(site.Scratch(), server, "profiles"));
}
