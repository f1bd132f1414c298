#include "payload/ArchiveName.h"

#include <cstring>

#include "support/EscapedUnit.h"
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
// behaves the same on all. Windows reads the superscript digits one, two
// and three as digits there too ("COM¹"); only UTF-8 names can hold them
// (C2 B9, C2 B2, C2 B3), which in Shift-JIS are two katakana.
bool IsDeviceName(const char* name, bool utf8)
{
    int stem = 0;
    while (name[stem] != '\0' && name[stem] != '.')
        ++stem;
    while (stem > 0 && name[stem - 1] == ' ')
        --stem;
    // One after the other, each with its zero: no table of pointers.
    static const char kPlain[] = "CON\0PRN\0AUX\0NUL\0CONIN$\0CONOUT$";
    for (const char* word = kPlain; word < kPlain + sizeof kPlain; word += std::strlen(word) + 1) {
        if (StartsWithWord(name, stem, word))
            return true;
    }
    const bool digit = stem == 4 && name[3] >= '0' && name[3] <= '9';
    const bool superscript = utf8 && stem == 5 && name[3] == '\xC2' &&
                             (name[4] == '\xB9' || name[4] == '\xB2' || name[4] == '\xB3');
    return (digit || superscript) && (StartsWithWord(name, 3, "COM") || StartsWithWord(name, 3, "LPT"));
}

// The tests of a name as a whole, alike for both encodings: the bytes they
// look at (ASCII at the start and at the end) are characters of their own
// in Shift-JIS and in UTF-8, never part of another character.
bool SafeAsAWhole(const char* name, bool utf8)
{
    const size_t bytes = std::strlen(name);
    // Empty: adds no component, so the entry would be the folder itself.
    // "." and "..": this folder and the one above it.
    if (bytes == 0 || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
        return false;
    // Windows strips a trailing dot or blank, so the name on disk would
    // differ from the one in the archive (and "a." would become "a").
    const char last = name[bytes - 1];
    if (last == '.' || last == ' ')
        return false;
    return !IsDeviceName(name, utf8);
}

// Whether a byte that is a character of its own (ASCII) is one that
// Windows takes in a name. Every byte from 0x80 up passes: it belongs to a
// character that is no ASCII.
bool SafeByte(unsigned char b)
{
    // Control bytes: CR and LF end archive lines; Windows refuses 0x01-0x1F.
    // (DEL, 0x7F, is an ordinary character for Windows and stays allowed.)
    // "\" and "/" separate components; ":" names a drive or a stream;
    // "*" and "?" are wildcards; '"', "<", ">" and "|" are refused by
    // Windows in every name, so no archive can need them.
    return b >= 0x20 && std::strchr("\\/:*?\"<>|", static_cast<char>(b)) == nullptr;
}

} // namespace

bool IsSafeArchiveName(const char* name)
{
    // Two bytes per character at most: longer cannot fit Windows' limit.
    if (name == nullptr || !SafeAsAWhole(name, false) || std::strlen(name) > 2 * static_cast<size_t>(kMaxNameChars))
        return false;
    RCAnsiStr text(name);
    int32_t length = text.Length();
    int chars = 0;
    for (int32_t i = 0; i < length; ++i) {
        int32_t cls = text.CharClass(i);
        if (cls == RCAnsiStr::Trail)
            continue; // the second byte of a character: 0x5C here is not a backslash
        ++chars;
        // A lead byte must have its second byte: a lone one at the end
        // would swallow the backslash the path adds after it, and one
        // before a byte outside the trail range is not Shift-JIS at all.
        if (cls == RCAnsiStr::Lead && text.CharClass(i + 1) != RCAnsiStr::Trail)
            return false;
        if (!SafeByte(static_cast<unsigned char>(name[i])))
            return false;
    }
    return chars <= kMaxNameChars;
}

bool DecodeUtf8ArchiveName(const char* name, RCAnsiStr& into)
{
    if (name == nullptr || !SafeAsAWhole(name, true))
        return false;
    // Every byte below 0x80 is a character of its own in UTF-8; the others
    // belong to longer characters, which the decoding checks.
    for (const char* at = name; *at != '\0'; ++at) {
        if (!SafeByte(static_cast<unsigned char>(*at)))
            return false;
    }
    // Windows allows 255 UTF-16 units in one component.
    int32_t units = 0;
    return EscapedUnit::FromUtf8(name, into, &units) && units <= kMaxNameChars;
}
