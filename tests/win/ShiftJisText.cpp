#include "tests/win/ShiftJisText.h"

#include <windows.h>

#include <vector>

std::string ShiftJisToUtf8(const std::string& bytes)
{
    if (bytes.empty())
        return std::string();
    const int size = static_cast<int>(bytes.size());
    const int wide = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (wide <= 0)
        return "(not Shift-JIS)";
    std::vector<wchar_t> text(static_cast<size_t>(wide));
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), size, text.data(), wide);
    const int narrow = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(narrow), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, &utf8[0], narrow, nullptr, nullptr);
    return utf8;
}
