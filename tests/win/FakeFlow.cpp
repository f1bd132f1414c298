// Extraction and launch doubles for the test variant of the stub.
//
// The environment chooses what extract does (QM_FAKE_FLOW):
//   fail (or unset)  returns false at once
//   succeed          returns true, so launch follows
//   message          shows an error box through the user interface, false
//   busy             processes messages as extraction does between records
//                    until the file QM_FAKE_RELEASE exists (the watcher
//                    makes it when it is done), at most QM_FAKE_BUSY_MS
//                    (default 20000), then false
//   oom              asks for more memory than there is
// launch hides the windows through the user interface, as the real one does
// before it waits for the installer. Every call is appended to the file
// QM_FAKE_REPORT as a line: "extract <application title>", or "launch
// hidden" when the progress window and the taskbar window are both hidden
// afterwards ("launch visible" otherwise).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "launcher/Extract.h"
#include "launcher/Launch.h"
#include "launcher/Messages.h"
#include "launcher/UserInterface.h"
#include "tests/win/WaitScale.h"

namespace {

void Record(const char* what, const char* detail)
{
    const char* report = std::getenv("QM_FAKE_REPORT");
    if (report == nullptr)
        return;
    FILE* file = std::fopen(report, "ab");
    if (file == nullptr)
        return;
    std::fprintf(file, "%s %s\n", what, detail);
    std::fclose(file);
}

bool Mode(const char* name)
{
    const char* mode = std::getenv("QM_FAKE_FLOW");
    return mode != nullptr && std::strcmp(mode, name) == 0;
}

} // namespace

bool extract(UserInterface& ui, WorkFolderChain&)
{
    // The application title: the text of the window that owns the form.
    char title[MAX_PATH] = "";
    HWND owner = GetWindow(ui.ProgressWindow(), GW_OWNER);
    if (owner != nullptr)
        GetWindowTextA(owner, title, MAX_PATH);
    Record("extract", title);

    if (Mode("succeed"))
        return true;
    if (Mode("message")) {
        ui.ShowMessage(nullptr, Messages::kFolderFailed, Messages::kErrorCaption, Messages::kErrorStyle);
        return false;
    }
    if (Mode("busy")) {
        const char* setting = std::getenv("QM_FAKE_BUSY_MS");
        DWORD busy = setting != nullptr ? static_cast<DWORD>(std::atol(setting)) : testwin::Scaled(20000);
        const char* release = std::getenv("QM_FAKE_RELEASE");
        DWORD start = GetTickCount();
        while (GetTickCount() - start < busy &&
               (release == nullptr || GetFileAttributesA(release) == INVALID_FILE_ATTRIBUTES)) {
            ui.ProcessMessages();
            Sleep(10);
        }
        return false;
    }
    if (Mode("oom")) {
        // Never returns: the allocator shows the failure and ends the program.
        void* block = ::operator new(static_cast<size_t>(-1) / 2);
        Record("allocated", "?");
        ::operator delete(block);
        return false;
    }
    return false;
}

bool launch(UserInterface& ui, WorkFolderChain&)
{
    ui.HideWindows();
    HWND form = ui.ProgressWindow();
    HWND owner = GetWindow(form, GW_OWNER);
    bool hidden = form != nullptr && owner != nullptr && !IsWindowVisible(form) && !IsWindowVisible(owner);
    Record("launch", hidden ? "hidden" : "visible");
    return true;
}
