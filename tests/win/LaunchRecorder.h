// A UserInterface for tests: shows nothing and records, with the tick count
// of each, what the launcher flow asked of it. Its progress window is a real
// (hidden) top-level window of the calling thread, so that it can own a
// shell request and, as the launcher's windows do, gets broadcasts: one
// that the window answers, WM_SETTINGCHANGE for "Environment", is recorded
// as "answered"; a timer tick or a close that reaches it as "timer" or
// "close".
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "launcher/UserInterface.h"

class LaunchRecorder : public UserInterface {
public:
    struct Event {
        std::string kind;      // "messages", "message", "hide", "answered", "timer" or "close"
        uint32_t tick;         // GetTickCount when it happened
        HWND owner;            // for "message"
        std::string text;      // for "message"
        std::string caption;   // for "message"
        uint32_t style;        // for "message"
    };

    LaunchRecorder();
    ~LaunchRecorder() override;
    LaunchRecorder(const LaunchRecorder&) = delete;
    LaunchRecorder& operator=(const LaunchRecorder&) = delete;

    void ProcessMessages() override;
    void ShowMessage(HWND owner, const char* text, const char* caption, uint32_t style) override;
    HWND ProgressWindow() const override { return window_; }
    void HideWindows() override;
    // Kept aside, not an event: the status the flow would end the program with.
    void SetExitStatus(uint32_t status) override { exitStatus_ = status; }
    uint32_t ExitStatus() const { return exitStatus_; }

    // An event to set when the windows are hidden (null: none).
    void SignalOnHide(HANDLE event) { hideSignal_ = event; }

    const std::vector<Event>& Events() const { return events_; }
    // The kinds of the events in order, joined by blanks ("hide message").
    std::string Kinds() const;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Record(const char* kind);

    HWND window_;
    HANDLE hideSignal_ = nullptr;
    std::vector<Event> events_;
    uint32_t exitStatus_ = 0;
};
