// TMainForm: the progress window, and the flow of the program.
//
// Built from the dialog resource TMAINFORM; sized and placed in pixels
// after creation, so that the layout is exact whatever the dialog units
// come to: client area 308 x 45, centred on the screen, label Label1 at
// 16,16 (274 x 12), font "MS P Gothic" 12 pixels, Shift-JIS character set.
// Its texts come from launcher/Messages.h through UserText: where the ANSI
// code page is not 932 the window is a Unicode one and shows them wide.
// A one-shot timer (100 ms) starts the work once the window is on screen;
// the window hides and closes itself when the work is done, which ends the
// program. While it is visible it refuses to close.
#pragma once
#include <windows.h>

#include <cstdint>

class Application;

class TMainForm {
public:
    static constexpr const char* kWindowClass = "TMainForm";
    static constexpr const wchar_t* kWindowClassWide = L"TMainForm";
    static constexpr UINT_PTR kTimerId = 1;
    static constexpr UINT kTimerInterval = 100;

    // Layout in pixels, designed at 96 dpi and not scaled.
    static constexpr int32_t kClientWidth = 308;
    static constexpr int32_t kClientHeight = 45;
    static constexpr int32_t kLabelLeft = 16;
    static constexpr int32_t kLabelTop = 16;
    static constexpr int32_t kLabelWidth = 274;
    static constexpr int32_t kLabelHeight = 12;
    static constexpr int32_t kFontHeight = -12;

    explicit TMainForm(Application& application);
    ~TMainForm();
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Creates the window as the application's main form, lays it out,
    // shows it and starts the timer. False if the window cannot be made.
    bool Create();

    // Event handlers.
    void TimerTimer();
    void FormCloseQuery(bool& canClose);
    void FormClose();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool RegisterWindowClass(bool unicode);
    void Layout();
    void Close();
    void Destroyed();

    Application& application_;
    HWND window_ = nullptr;
    HWND label1_ = nullptr;
    HFONT font_ = nullptr; // owned: made by Create, deleted with the form
    bool timerEnabled_ = false;
};
