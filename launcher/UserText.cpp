#include "launcher/UserText.h"

#include <cstring>

UserText::UserText(const char* shiftJis) : bytes_(shiftJis != nullptr ? shiftJis : "")
{
    // On code page 932 the ANSI functions read the bytes right: nothing to
    // convert, and nothing else is called.
    if (GetACP() == kCodePage)
        return;
    // Every byte gives at most one unit; the terminator is converted too,
    // so the converted text ends with one.
    const int room = static_cast<int>(std::strlen(bytes_)) + 1;
    std::unique_ptr<wchar_t[]> wide(new wchar_t[static_cast<size_t>(room)]);
    if (SystemPath::ToWide(bytes_, -1, wide.get(), room) > 0)
        wide_ = std::move(wide);
}

bool UserText::SetWindowTextOf(HWND window) const
{
    if (IsWide())
        return SetWindowTextW(window, wide_.get()) != FALSE;
    return SetWindowTextA(window, bytes_) != FALSE;
}

int UserText::ShowMessageBox(HWND owner, const UserText& text, const UserText& caption, uint32_t style)
{
    if (text.IsWide() && caption.IsWide())
        return MessageBoxW(owner, text.Wide(), caption.Wide(), style);
    return MessageBoxA(owner, text.Bytes(), caption.Bytes(), style);
}

HFONT UserText::CreateFontNamed(int32_t height) const
{
    if (IsWide())
        return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, wide_.get());
    return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, bytes_);
}
