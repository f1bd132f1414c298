#include "tools/WideText.h"

#ifdef _WIN32
#include <windows.h>

std::wstring WideText::FromUtf8(const std::string& utf8)
{
    if (utf8.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
    return wide;
}

std::string WideText::ToUtf8(const wchar_t* wide, int length)
{
    if (length < 0)
        length = static_cast<int>(wcslen(wide));
    if (length == 0)
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, &utf8[0], n, nullptr, nullptr);
    return utf8;
}
#endif
