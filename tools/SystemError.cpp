#include "tools/SystemError.h"

#ifdef _WIN32
#include <windows.h>

#include "tools/WideText.h"
#else
#include <cerrno>
#include <cstring>
#endif

#ifdef _WIN32

std::string SystemError::Last()
{
    return Of(GetLastError());
}

std::string SystemError::Of(uint32_t code)
{
    wchar_t* text = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string words = n > 0 ? WideText::ToUtf8(text, static_cast<int>(n)) : std::string();
    if (text != nullptr)
        LocalFree(text);
    // The system ends its text with a full stop and a line break.
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.' || words.back() == ' '))
        words.pop_back();
    const std::string number = "Windows error " + std::to_string(code);
    return words.empty() ? number : words + " (" + number + ")";
}

#else

std::string SystemError::Last()
{
    return Of(static_cast<uint32_t>(errno));
}

std::string SystemError::Of(uint32_t code)
{
    return std::strerror(static_cast<int>(code));
}

#endif
