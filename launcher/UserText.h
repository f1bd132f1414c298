// UserText: one of the texts the user sees (Shift-JIS bytes from
// launcher/Messages.h), in the form that the Windows functions showing it
// need on this system.
//
// Where the ANSI code page is 932, the bytes go to the ANSI functions as
// they are. Anywhere else the ANSI functions would read them in another code
// page and show garbage, so the text is converted from code page 932 to
// UTF-16 and shown with the wide functions (and the window showing it must
// be a Unicode window: see IsWide). Where code page 932 is not installed the
// conversion fails, and the bytes go to the ANSI functions after all.
//
// This is the one place that makes that choice. The file names the launcher
// shows (the application title) are in the ANSI code page already and are
// never passed through here.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>

#include "support/SystemPath.h"

class UserText {
public:
    // The code page the texts are stored in.
    static constexpr UINT kCodePage = SystemPath::kCodePage;

    // A null text counts as the empty one.
    explicit UserText(const char* shiftJis);
    UserText(const UserText&) = delete;
    UserText& operator=(const UserText&) = delete;

    // True when the text is shown through the wide functions: the system's
    // ANSI code page is not 932 and code page 932 is there to convert from.
    bool IsWide() const { return wide_ != nullptr; }
    const char* Bytes() const { return bytes_; }
    // Null unless IsWide.
    const wchar_t* Wide() const { return wide_.get(); }

    // The window's text, with SetWindowTextW or SetWindowTextA. A wide text
    // reaches a window intact only if the window is a Unicode one.
    bool SetWindowTextOf(HWND window) const;

    // A message box; wide when both texts are. The result of MessageBox.
    static int ShowMessageBox(HWND owner, const UserText& text, const UserText& caption, uint32_t style);

    // A font with this text as its face name, of the given height in pixels
    // (negative: character height), normal weight, in the Shift-JIS
    // character set, so that the font mapper takes a font with Japanese
    // glyphs when this one is missing. Null when it cannot be made.
    HFONT CreateFontNamed(int32_t height) const;

private:
    const char* bytes_;
    std::unique_ptr<wchar_t[]> wide_;
};
