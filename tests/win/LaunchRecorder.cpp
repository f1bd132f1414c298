#include "tests/win/LaunchRecorder.h"

LaunchRecorder::LaunchRecorder()
    : window_(CreateWindowExA(0, "STATIC", "launch recorder", WS_POPUP, 0, 0, 100, 40, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr))
{
}

LaunchRecorder::~LaunchRecorder()
{
    if (window_ != nullptr)
        DestroyWindow(window_);
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
