// Application: the program's application object.
//
// It owns the taskbar window: a visible top-level window of no size whose
// text is the application's title. It stands for the program on the taskbar
// and owns the main form and the message boxes, so the form itself has no
// taskbar button. Run is the message loop; it ends when the main form is
// destroyed (WM_QUIT) or the application is terminated.
#pragma once
#include <windows.h>

#include <cstdint>

#include "launcher/UserInterface.h"

class Application : public UserInterface {
public:
    static constexpr const char* kWindowClass = "QuillimarkApplication";

    explicit Application(HINSTANCE instance);
    ~Application() override;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Registers the window class and shows the taskbar window; false when
    // either fails (there is then nothing to show a message with).
    bool Initialize();

    HINSTANCE Instance() const { return instance_; }
    HWND Handle() const { return window_; }

    // The title is the text of the taskbar window.
    void SetTitle(const char* title);

    // The window whose destruction ends the program; null once it is gone.
    void SetMainForm(HWND form) { mainForm_ = form; }

    // Runs the message loop until WM_QUIT or Terminate.
    void Run();
    // Ends the message loop at its next turn; no event handler starts work
    // after this (see Terminated).
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }

    // The standard display of an exception: the message (plain ASCII) in a
    // box owned by the taskbar window, with the title as caption, OK and the
    // error icon.
    void ShowException(const char* message);

    // The application of the calling thread, found through its taskbar
    // window; null when there is none (yet). For code that cannot be handed
    // the object, the allocator's failure path.
    static Application* OfThisThread();

    // UserInterface
    void ProcessMessages() override;
    void ShowMessage(HWND owner, const char* text, const char* caption, uint32_t style) override;
    HWND ProgressWindow() const override { return mainForm_; }
    void HideWindows() override;
    void SetExitStatus(uint32_t status) override { exitStatus_ = status; }
    uint32_t ExitStatus() const { return exitStatus_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HINSTANCE instance_;
    HWND window_ = nullptr;
    bool passed_ = false; // ProcessMessages has made a pass, at lastPass_
    DWORD lastPass_ = 0;  // GetTickCount
    HWND mainForm_ = nullptr;
    bool terminated_ = false;
    uint32_t exitStatus_ = 0;
};
