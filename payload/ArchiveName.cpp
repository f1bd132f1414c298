#include "payload/ArchiveName.h"

#include <cstring>

#include "support/RCAnsiStr.h"

namespace {

// Windows allows 255 UTF-16 units in one component; every Shift-JIS
// character, single- or double-byte, is one unit.
constexpr int kMaxNameChars = 255;

char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Compares the first n bytes of text with word (upper case), ignoring the
// case of ASCII letters.
bool StartsWithWord(const char* text, int n, const char* word)
{
    if (static_cast<int>(std::strlen(word)) != n)
        return false;
    for (int i = 0; i < n; ++i) {
        if (Upper(text[i]) != word[i])
            return false;
    }
    return true;
}

// CON, PRN, AUX, NUL, COM0-COM9 and LPT0-LPT9 name devices in every folder,
// whatever the extension: "nul.txt" is the null device too. Windows also
// drops blanks before the extension ("CON .txt"), so those are trimmed
// before the test. COM0 and LPT0 are devices on newer Windows only, and
// which versions take the console's CONIN$ and CONOUT$ as devices inside a
// folder varies; all of them are refused everywhere so that an archive
// behaves the same on all.
bool IsDeviceName(const char* name)
{
    int stem = 0;
    while (name[stem] != '\0' && name[stem] != '.')
        ++stem;
    while (stem > 0 && name[stem - 1] == ' ')
        --stem;
    static const char* const kPlain[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* word : kPlain) {
        if (StartsWithWord(name, stem, word))
            return true;
    }
    if (stem == 4 && name[3] >= '0' && name[3] <= '9')
        return StartsWithWord(name, 3, "COM") || StartsWithWord(name, 3, "LPT");
    return false;
}

} // namespace

bool IsSafeArchiveName(const char* name)
{
    if (name == nullptr)
        return false;
    size_t bytes = std::strlen(name);
    // Empty: adds no component, so the entry would be the folder itself.
    if (bytes == 0)
        return false;
    // Two bytes per character at most: longer cannot fit Windows' limit.
    if (bytes > 2 * static_cast<size_t>(kMaxNameChars))
        return false;
    // "." and "..": this folder and the one above it.
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
        return false;

    RCAnsiStr text(name);
    int32_t length = text.Length();
    int chars = 0;
    for (int32_t i = 0; i < length; ++i) {
        unsigned char b = static_cast<unsigned char>(name[i]);
        int32_t cls = text.CharClass(i);
        if (cls == RCAnsiStr::Trail)
            continue; // the second byte of a character: 0x5C here is not a backslash
        ++chars;
        // A lead byte must have its second byte: a lone one at the end
        // would swallow the backslash the path adds after it, and one
        // before a byte outside the trail range is not Shift-JIS at all.
        if (cls == RCAnsiStr::Lead && text.CharClass(i + 1) != RCAnsiStr::Trail)
            return false;
        // Control bytes: CR and LF end archive lines; Windows refuses 0x01-0x1F.
        // (DEL, 0x7F, is an ordinary character for Windows and stays allowed.)
        if (b < 0x20)
            return false;
        // "\" and "/" separate components; ":" names a drive or a stream;
        // "*" and "?" are wildcards; '"', "<", ">" and "|" are refused by
        // Windows in every name, so no archive can need them.
        if (std::strchr("\\/:*?\"<>|", static_cast<char>(b)) != nullptr)
            return false;
    }
    if (chars > kMaxNameChars)
        return false;
    // Windows strips a trailing dot or blank, so the name on disk would
    // differ from the one in the archive (and "a." would become "a"). Both
    // are single bytes that can never be the second byte of a character.
    char last = name[bytes - 1];
    if (last == '.' || last == ' ')
        return false;
    return !IsDeviceName(name);
}
