// EscapedUnit: how the program's byte texts carry characters that code
// page 932 lacks.
//
// The program's texts and paths are Shift-JIS bytes (code page 932). A
// character from outside that code page (in a path or a listing that
// Windows gives on the wide route, or in a payload name read in UTF-8) is
// kept in the same texts as its UTF-16 units, each written as the byte 0x01
// and the unit's four upper-case hexadecimal digits: "é" is 01 "00E9", a
// character beyond U+FFFF its two surrogates. ASCII stays as it is. No byte
// of the form is a Shift-JIS lead byte or a backslash, so the path rules,
// which find separators by the Shift-JIS rules, still find every one; and
// no name can hold the byte 0x01 itself (Windows refuses control characters
// in names, and so do the payload's name rules), so the form never reads
// two ways. Only the wide Windows functions can be given such a text
// (support/SystemPath.h converts it there).
#pragma once
#include <cstdint>

class RCAnsiStr;

namespace EscapedUnit {

constexpr char kMark = '\x01';
constexpr int32_t kDigits = 4;
// The bytes of one escaped unit.
constexpr int32_t kBytes = 1 + kDigits;

// Writes the form of unit (kBytes bytes, no terminator) at out; returns
// the byte after it.
char* Write(uint32_t unit, char* out);

// The unit whose form starts at text (at its mark), into *unit; false when
// fewer than kDigits upper-case hexadecimal digits follow the mark (the
// text's end stops the reading).
bool Read(const char* text, uint32_t* unit);

// The byte form of a UTF-8 text, into into: ASCII as it stands, every
// other character escaped; *units receives the number of UTF-16 units of
// the text. False (into and *units of no use) when the text is not
// well-formed UTF-8: a byte that starts no character, a sequence cut
// short, an overlong form, a surrogate, a value beyond U+10FFFF.
bool FromUtf8(const char* utf8, RCAnsiStr& into, int32_t* units);

} // namespace EscapedUnit
