#include "tests/win/LaunchRecorder.h"

#include <cstring>

namespace {
constexpr char kWindowClass[] = "QmLaunchRecorder";
}

LaunchRecorder::LaunchRecorder()
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass); // fails harmlessly for a second recorder
    window_ = CreateWindowExA(0, kWindowClass, "launch recorder", WS_POPUP, 0, 0, 100, 40, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    if (window_ != nullptr)
        SetPropA(window_, kWindowClass, this);
}

LaunchRecorder::~LaunchRecorder()
{
    if (window_ != nullptr) {
        RemovePropA(window_, kWindowClass);
        DestroyWindow(window_);
    }
}

void LaunchRecorder::Record(const char* kind)
{
    events_.push_back(Event{kind, GetTickCount(), nullptr, "", "", 0});
}

LRESULT CALLBACK LaunchRecorder::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* recorder = static_cast<LaunchRecorder*>(GetPropA(window, kWindowClass));
    if (recorder != nullptr) {
        switch (message) {
        case WM_SETTINGCHANGE: {
            // The parameter carries the text's address.
            const char* area = reinterpret_cast<const char*>(lParam);
            if (area != nullptr && std::strcmp(area, "Environment") == 0)
                recorder->Record("answered");
            break;
        }
        case WM_TIMER:
            recorder->Record("timer");
            return 0;
        case WM_CLOSE:
            recorder->Record("close");
            return 0;
        default:
            break;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void LaunchRecorder::ProcessMessages()
{
    events_.push_back(Event{"messages", GetTickCount(), nullptr, "", "", 0});
}

void LaunchRecorder::ShowMessage(HWND owner, const char* text, const char* caption, uint32_t style)
{
    events_.push_back(Event{"message", GetTickCount(), owner, text, caption, style});
}

void LaunchRecorder::HideWindows()
{
    events_.push_back(Event{"hide", GetTickCount(), nullptr, "", "", 0});
    if (hideSignal_ != nullptr)
        SetEvent(hideSignal_);
}

std::string LaunchRecorder::Kinds() const
{
    std::string kinds;
    for (const Event& event : events_)
        kinds += (kinds.empty() ? "" : " ") + event.kind;
    return kinds;
}
