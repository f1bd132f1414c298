// WideText: UTF-8 to UTF-16 and back, for the Windows build of the tools,
// which keep every host path and message in UTF-8 and call the wide
// Windows functions, whatever the ANSI code page.
#pragma once
#ifdef _WIN32
#include <string>

class WideText {
public:
    // Invalid UTF-8 gives an empty result.
    static std::wstring FromUtf8(const std::string& utf8);
    // An unpaired surrogate becomes U+FFFD.
    static std::string ToUtf8(const wchar_t* wide, int length = -1);
};
#endif
