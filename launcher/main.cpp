// WinMain, where the program starts (called by QmEntry in Entry.cpp, the
// process's entry point): the DLL search restricted, the late DLLs bound,
// the application object, the progress window, the loop.
#include <windows.h>

#include "launcher/Application.h"
#include "launcher/DllSearchPath.h"
#include "launcher/ExitStatus.h"
#include "launcher/LateImports.h"
#include "launcher/Mainformsrc.h"
#include "launcher/Messages.h"
#include "launcher/UserText.h"
#include "support/RCAnsiStr.h"
#include "support/RCPath.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    // First of all: no DLL may load from the program's folder. The C
    // runtime's start-up before this point loads none.
    RestrictDllSearchPath();
    // Then the window, shell and security functions, from the system folder.
    // Without them the program cannot run; it says so where the message
    // box can be had.
    if (!BindLateImports()) {
        if (MessageBoxesBound())
            UserText::ShowMessageBox(nullptr, UserText(Messages::kCannotRun), UserText(Messages::kErrorCaption),
                                     Messages::kErrorStyle);
        return static_cast<int>(ExitStatus::kLateImports);
    }

    Application application(instance);
    if (!application.Initialize())
        return static_cast<int>(ExitStatus::kNoWindow);
    {
        // Until the work starts, the title is the program's name without
        // its extension.
        RCPath self;
        SetToModuleFile(self);
        RCAnsiStr title(self.Last());
        int32_t dot = title.FindLastChar('.');
        if (dot > 0)
            title.KeepBefore(dot);
        application.SetTitle(title.Text());
    }

    TMainForm mainForm(application);
    if (!mainForm.Create())
        return static_cast<int>(ExitStatus::kNoWindow);
    application.Run();
    // The installer's exit code, or the launcher's own failure.
    return static_cast<int>(application.ExitStatus());
}
