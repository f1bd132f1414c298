// What the launcher flow needs from the window layer: one pass of message
// processing, message boxes, the windows that the launch hides and uses as
// owner, and the program's exit status. The application implements it; tests put a recorder in its place.
#pragma once
#include <windows.h>

#include <cstdint>

class UserInterface {
public:
    virtual ~UserInterface() = default;

    // Handles the window messages that are waiting, then returns; may do
    // nothing when the last pass was only milliseconds ago.
    virtual void ProcessMessages() = 0;

    // A message box with one OK button; style carries the icon (16 = error).
    // A null owner means the application's own window.
    virtual void ShowMessage(HWND owner, const char* text, const char* caption, uint32_t style) = 0;

    // The progress window: owner of the installer launch and of the restart message.
    virtual HWND ProgressWindow() const = 0;

    // Hides the application's taskbar window and the progress window.
    virtual void HideWindows() = 0;

    // The status the program ends with (launcher/ExitStatus.h); the last one
    // set counts, 0 when none is.
    virtual void SetExitStatus(uint32_t status) = 0;
};
