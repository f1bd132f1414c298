#include "launcher/Mainformsrc.h"

#include "launcher/Application.h"
#include "launcher/Extract.h"
#include "launcher/Launch.h"
#include "launcher/Messages.h"
#include "launcher/ResourceIds.h"
#include "launcher/UserText.h"
#include "launcher/WindowLink.h"
#include "launcher/WorkFolderChain.h"
#include "support/RCPath.h"

namespace {

// The taskbar button shows the launcher's own file name, extension included.
void ShowOwnFileNameAsTitle(Application& application)
{
    RCPath self;
    SetToModuleFile(self);
    application.SetTitle(self.Last());
}

} // namespace

TMainForm::TMainForm(Application& application) : application_(application)
{
}

TMainForm::~TMainForm()
{
    // Still there only when the message loop ended some other way.
    if (window_ != nullptr)
        DestroyWindow(window_);
    // After the window: the label uses the font until it is gone.
    if (font_ != nullptr)
        DeleteObject(font_);
}

bool TMainForm::RegisterWindowClass(bool unicode)
{
    // A dialog class of our own name: the dialog manager's window procedure
    // with its extra bytes, button-face background, filled alike for the
    // ANSI and the Unicode class. A Unicode class when the texts are shown
    // wide: an ANSI window would take them through the ANSI code page on
    // their way in and lose them.
    auto registerAs = [this](auto windowClass, WNDPROC procedure, auto name, auto registerClass) {
        windowClass.lpfnWndProc = procedure;
        windowClass.cbWndExtra = DLGWINDOWEXTRA;
        windowClass.hInstance = application_.Instance();
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        windowClass.lpszClassName = name;
        return registerClass(&windowClass);
    };
    const ATOM registered = unicode ? registerAs(WNDCLASSW{}, DefDlgProcW, kWindowClassWide, RegisterClassW)
                                    : registerAs(WNDCLASSA{}, DefDlgProcA, kWindowClass, RegisterClassA);
    return registered != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool TMainForm::Create()
{
    // The texts decide what kind of window shows them.
    UserText caption(Messages::kProgressCaption);
    UserText label(Messages::kProgressLabel);
    const bool unicode = caption.IsWide();
    if (!RegisterWindowClass(unicode))
        return false;
    // The template is not visible: it is shown once laid out, so it appears
    // in its place at once. Messages up to then get the default handling.
    // The dialog and its label are Unicode windows when made with the wide
    // function.
    if (unicode)
        window_ = CreateDialogParamW(application_.Instance(), L"TMAINFORM", application_.Handle(), DialogProc, 0);
    else
        window_ = CreateDialogParamA(application_.Instance(), "TMAINFORM", application_.Handle(), DialogProc, 0);
    if (!LinkWindow(window_, kWindowClass, this))
        return false;
    application_.SetMainForm(window_);

    // Missing only with a broken resource; the window still works without it.
    label1_ = GetDlgItem(window_, IDC_LABEL1);
    // 12 pixels whatever the screen's resolution. Where the font is missing
    // the font mapper takes another one with Japanese glyphs (the character
    // set counts for more than the name). Without the font (only when GDI is
    // out of resources) the system font is used, or, for wide texts, the
    // default GUI font, which can draw Japanese where the system can,
    // failing which the dialog's own font stays.
    font_ = UserText(Messages::kProgressFont).CreateFontNamed(kFontHeight);
    HGDIOBJ font = font_;
    if (font == nullptr && unicode)
        font = GetStockObject(DEFAULT_GUI_FONT);
    if (font != nullptr && label1_ != nullptr) {
        // The message carries the handle in its parameter.
        SendMessageA(label1_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    // Texts are only shown: a failure leaves them empty.
    caption.SetWindowTextOf(window_);
    if (label1_ != nullptr)
        label.SetWindowTextOf(label1_);
    Layout();

    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);

    // Without a timer (the system is out of timers) one tick is posted, and
    // without that the work starts here: the window must never wait forever.
    timerEnabled_ = true;
    if (SetTimer(window_, kTimerId, kTimerInterval, nullptr) == 0 && !PostMessageA(window_, WM_TIMER, kTimerId, 0))
        TimerTimer();
    return true;
}

void TMainForm::Layout()
{
    // Outer size for the client area, from the window's real styles; then
    // corrected by the client area the window really got, for frames that
    // the calculation does not know.
    RECT frame = {0, 0, kClientWidth, kClientHeight};
    DWORD style = static_cast<DWORD>(GetWindowLongA(window_, GWL_STYLE));
    DWORD exStyle = static_cast<DWORD>(GetWindowLongA(window_, GWL_EXSTYLE));
    if (!AdjustWindowRectEx(&frame, style, FALSE, exStyle))
        frame = RECT{0, 0, kClientWidth, kClientHeight};
    int32_t width = frame.right - frame.left;
    int32_t height = frame.bottom - frame.top;
    SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    if (GetClientRect(window_, &client)) {
        width += kClientWidth - (client.right - client.left);
        height += kClientHeight - (client.bottom - client.top);
    }
    // Centred on the primary screen; a window larger than the screen
    // overhangs on both sides.
    int32_t left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int32_t top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    SetWindowPos(window_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (label1_ != nullptr)
        SetWindowPos(label1_, nullptr, kLabelLeft, kLabelTop, kLabelWidth, kLabelHeight,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

void TMainForm::TimerTimer()
{
    // A tick that arrives while the work runs (extraction lets messages
    // through), or once the program is ending, does nothing.
    if (!timerEnabled_ || application_.Terminated())
        return;
    timerEnabled_ = false;
    KillTimer(window_, kTimerId); // fails only for the posted tick: no timer then

    ShowOwnFileNameAsTitle(application_);
    // The folders down to the work folder, held from extraction to the
    // clean-up.
    WorkFolderChain chain;
    if (extract(application_, chain))
        launch(application_, chain);

    // Hidden first, so that the close guard lets it close. The window may
    // already be gone if it was closed while the launch had it hidden.
    if (window_ != nullptr) {
        ShowWindow(window_, SW_HIDE);
        Close();
    }
}

void TMainForm::FormCloseQuery(bool& canClose)
{
    // Never while the user can see it: the work is still running.
    canClose = window_ == nullptr || !IsWindowVisible(window_);
}

void TMainForm::FormClose()
{
    // Nothing to do: closing the main form ends the program.
}

void TMainForm::Close()
{
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose)
        return;
    FormClose();
    DestroyWindow(window_); // Destroyed() follows from WM_DESTROY
}

void TMainForm::Destroyed()
{
    RemovePropA(window_, kWindowClass);
    bool isMainForm = application_.ProgressWindow() == window_;
    window_ = nullptr;
    label1_ = nullptr;
    if (isMainForm) {
        application_.SetMainForm(nullptr);
        PostQuitMessage(0);
    }
}

INT_PTR CALLBACK TMainForm::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    auto* form = static_cast<TMainForm*>(GetPropA(window, kWindowClass));
    // Before Create has linked the window to the form (creation,
    // WM_INITDIALOG) and after WM_DESTROY: the dialog manager's handling.
    if (form == nullptr)
        return FALSE;
    switch (message) {
    case WM_TIMER:
        if (wParam != kTimerId)
            return FALSE;
        form->TimerTimer();
        return TRUE;
    case WM_CLOSE:
        form->Close();
        return TRUE;
    case WM_COMMAND:
        // Enter and Escape (IDOK, IDCANCEL) do not close the window.
        return TRUE;
    case WM_DESTROY:
        form->Destroyed();
        return TRUE;
    default:
        return FALSE;
    }
}
