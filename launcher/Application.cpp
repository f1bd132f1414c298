#include "launcher/Application.h"

#include "launcher/UserText.h"
#include "launcher/WindowLink.h"

namespace {

// Window texts read back for a caption fit in this many bytes; a longer
// title is cut (GetWindowTextA always terminates).
constexpr int kTitleBuffer = 261;
// Milliseconds between two passes of ProcessMessages. A pass asks the
// window system for messages, which costs more than unpacking a small file
// (with thousands of them, a pass at every record was a tenth of the
// extraction under Wine); a few dozen passes a second keep the window as
// lively.
constexpr DWORD kPassInterval = 10;

} // namespace

Application::Application(HINSTANCE instance) : instance_(instance)
{
}

Application::~Application()
{
    if (window_ != nullptr) {
        RemovePropA(window_, kWindowClass);
        DestroyWindow(window_);
    }
    // Fails while a window of the class is left; the system drops the class
    // at exit anyway.
    UnregisterClassA(kWindowClass, instance_);
}

bool Application::Initialize()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance_;
    // The taskbar and task switcher show the class icon; null (the default
    // icon) if the resource were missing.
    windowClass.hIcon = LoadIconA(instance_, "MAINICON");
    windowClass.lpszClassName = kWindowClass;
    if (RegisterClassA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;

    // No size: only its taskbar button is seen. No system menu and no
    // minimise box: the taskbar cannot minimise it (which would hide the
    // form it owns) or close it behind the form's back.
    window_ = CreateWindowExA(0, kWindowClass, "", WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                              nullptr, nullptr, instance_, nullptr);
    if (!LinkWindow(window_, kWindowClass, this))
        return false;
    ShowWindow(window_, SW_SHOWNORMAL); // returns the previous visibility, not a result
    return true;
}

void Application::SetTitle(const char* title)
{
    // The title is only shown: a failure leaves the old one. It is a file
    // name, in the system's ANSI code page already: shown as it is,
    // whatever the code page.
    SetWindowTextA(window_, title != nullptr ? title : "");
}

void Application::Run()
{
    MSG message;
    while (!terminated_) {
        // 0 is WM_QUIT; -1 (bad arguments) would repeat forever, so it ends
        // the loop as well.
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void Application::ProcessMessages()
{
    const DWORD now = GetTickCount();
    if (passed_ && now - lastPass_ < kPassInterval)
        return; // the last pass was just now
    passed_ = true;
    lastPass_ = now;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        // WM_QUIT is not dispatched: the loop in Run is told through the flag
        // once the handler that called us has returned.
        if (message.message == WM_QUIT) {
            terminated_ = true;
            return;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void Application::ShowMessage(HWND owner, const char* text, const char* caption, uint32_t style)
{
    // One OK button whatever the icon. 0 means the box could not be shown;
    // there is nothing else to tell the user with. The texts are ours, in
    // Shift-JIS: wide where the ANSI code page is another one.
    UserText::ShowMessageBox(owner != nullptr ? owner : window_, UserText(text), UserText(caption), style);
}

void Application::HideWindows()
{
    ShowWindow(window_, SW_HIDE);
    if (mainForm_ != nullptr)
        ShowWindow(mainForm_, SW_HIDE);
}

void Application::ShowException(const char* message)
{
    // The message is plain ASCII and the caption the title, a file name in
    // the ANSI code page: the ANSI box shows both right on every system.
    char title[kTitleBuffer];
    if (window_ == nullptr || GetWindowTextA(window_, title, kTitleBuffer) <= 0)
        title[0] = '\0';
    MessageBoxA(window_, message, title, MB_OK | MB_ICONERROR);
}

Application* Application::OfThisThread()
{
    DWORD thread = GetCurrentThreadId();
    // Other programs may have windows of the same class name: only the one
    // made by this thread counts.
    for (HWND window = FindWindowExA(nullptr, nullptr, kWindowClass, nullptr); window != nullptr;
         window = FindWindowExA(nullptr, window, kWindowClass, nullptr)) {
        if (GetWindowThreadProcessId(window, nullptr) == thread)
            return static_cast<Application*>(GetPropA(window, kWindowClass));
    }
    return nullptr;
}

LRESULT CALLBACK Application::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE: {
        // Closing the taskbar button asks the main form, which refuses while
        // it is visible. Without a main form there is nothing to close: the
        // program ends by itself.
        auto* application = static_cast<Application*>(GetPropA(window, kWindowClass));
        if (application != nullptr && application->mainForm_ != nullptr)
            PostMessageA(application->mainForm_, WM_CLOSE, 0, 0);
        return 0;
    }
    case WM_SYSCOMMAND:
        // Minimising would hide the owned form and so lift its close guard.
        switch (wParam & 0xFFF0) {
        case SC_MINIMIZE:
        case SC_MAXIMIZE:
        case SC_SIZE:
        case SC_MOVE:
            return 0;
        default:
            break;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
