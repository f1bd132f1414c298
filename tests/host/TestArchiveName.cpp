#include <gtest/gtest.h>

#include <string>

#include "payload/ArchiveName.h"
#include "support/RCAnsiStr.h"

namespace {

struct NameCase {
    const char* name;
    const char* why;
};

// Names that Windows creates as they stand and that stay in their folder.
const NameCase kAccepted[] = {
    {"a", "one letter"},
    {"setup.bmp", "plain name with extension"},
    {".htaccess", "leading dot"},
    {"...a", "dots then a letter"},
    {" lead", "leading blank"},
    {"a b.c d", "inner blanks"},
    {"name.with.dots.txt", "several dots"},
    {"\x7f", "DEL is an ordinary character for Windows"},
    {"#$%&'()+,;=@[]^_`{}~!", "every other ASCII punctuation"},
    {"\x95\x5c.txt", "hyou: second byte 0x5C"},
    {"\x83\x5c", "so: second byte 0x5C"},
    {"\x94\x5c\x97\xcd", "nouryoku: 0x5C inside, then another character"},
    {"\x83\x7c", "second byte 0x7C, which alone would be |"},
    {"\x81\x40", "ideographic space"},
    {"\xb1\xb2\xb3", "half-width katakana (single bytes)"},
    {"\x82\xa0.txt", "hiragana a"},
    {"CONSOLE", "longer than a device name"},
    {"COM10", "only one digit makes a device"},
    {"LPT", "no digit"},
    {"xCON", "device name not at the start"},
    {"con_", "device name plus a character"},
    {"CONIN", "console input without its dollar"},
    {"CONOUT$$", "console output plus a character"},
    {"\x83\x52\x83\x93", "katakana ko-n: not CON"},
};

const NameCase kRefused[] = {
    {"", "empty: would be the folder itself"},
    {".", "this folder"},
    {"..", "the folder above"},
    {"...", "all dots: trailing dot"},
    {"a\\b", "backslash"},
    {"\\", "backslash alone"},
    {"a/b", "slash"},
    {"C:", "drive"},
    {"file:stream", "alternate data stream"},
    {"a\r", "CR"},
    {"a\nb", "LF"},
    {"\x01", "control byte"},
    {"tab\there", "tab"},
    {"\x1f", "last control byte"},
    {"a*", "wildcard *"},
    {"a?", "wildcard ?"},
    {"a\"b", "double quote"},
    {"a<b", "less than"},
    {"a>b", "greater than"},
    {"a|b", "vertical bar"},
    {"name.", "trailing dot"},
    {"name ", "trailing blank"},
    {"\x95\x5c ", "trailing blank after a double-byte character"},
    {"CON", "device"},
    {"con", "device, lower case"},
    {"Prn.txt", "device with extension"},
    {"aux.tar.gz", "device with two extensions"},
    {"NUL", "null device"},
    {"nul .txt", "device with blanks before the extension"},
    {"COM1", "serial port"},
    {"com9.log", "serial port with extension"},
    {"COM0", "device on newer Windows"},
    {"LPT1", "printer port"},
    {"lpt9", "printer port, lower case"},
    {"LPT0.x", "device on newer Windows"},
    {"CONIN$", "console input"},
    {"conout$.txt", "console output, lower case, with extension"},
    {"\x95", "lone lead byte at the end"},
    {"a\x95", "lead byte with its second byte missing"},
    {"\x81\x20x", "lead byte before a byte outside the trail range"},
    {"\x81\x7f", "lead byte before DEL, which is not a trail byte"},
    {"\x95\\\\", "0x5C after a character's 0x5C is a real backslash"},
};

TEST(ArchiveName, AcceptsWhatWindowsCreatesAsItStands)
{
    for (const NameCase& c : kAccepted)
        EXPECT_TRUE(IsSafeArchiveName(c.name)) << c.why;
}

TEST(ArchiveName, RefusesWhatCouldEscapeOrChange)
{
    for (const NameCase& c : kRefused)
        EXPECT_FALSE(IsSafeArchiveName(c.name)) << c.why;
    EXPECT_FALSE(IsSafeArchiveName(nullptr));
}

// 255 characters is Windows' limit for one component; a double-byte
// character counts once.
TEST(ArchiveName, LengthCountsCharactersNotBytes)
{
    EXPECT_TRUE(IsSafeArchiveName(std::string(255, 'a').c_str()));
    EXPECT_FALSE(IsSafeArchiveName(std::string(256, 'a').c_str()));

    std::string wide;
    for (int i = 0; i < 255; ++i)
        wide += "\x95\x5c";
    EXPECT_TRUE(IsSafeArchiveName(wide.c_str()));
    EXPECT_FALSE(IsSafeArchiveName((wide + "a").c_str()));
    EXPECT_FALSE(IsSafeArchiveName((wide + "\x95\x5c").c_str()));
}

// --- names in UTF-8 -----------------------------------------------------

struct Utf8Case {
    const char* name;
    const char* form; // the program's byte form: escaped UTF-16 units
    const char* why;
};

const Utf8Case kUtf8Accepted[] = {
    {"setup.exe", "setup.exe", "ASCII as it stands"},
    {"Stra\xc3\x9f" "e.txt", "Stra\x01" "00DFe.txt", "two bytes: sharp s"},
    {"\xe4\xb8\xad\xe6\x96\x87", "\x01" "4E2D\x01" "6587", "three bytes each"},
    {"\xe8\xa1\xa8", "\x01" "8868", "a character code page 932 holds is escaped too"},
    {"\xf0\x9f\x98\x80.txt", "\x01" "D83D\x01" "DE00.txt", "beyond U+FFFF: two units"},
    {"\xf4\x8f\xbf\xbf", "\x01" "DBFF\x01" "DFFF", "U+10FFFF, the last there is"},
    {"\xee\x80\x80\xef\xbf\xbd", "\x01" "E000\x01" "FFFD", "private use and the replacement character"},
    {"a\xc2\xa0", "a\x01" "00A0", "a no-break space at the end: no blank to Windows"},
    {"\xe3\x80\x80", "\x01" "3000", "the ideographic space alone"},
    {"COM\xc2\xb9x", "COM\x01" "00B9x", "a superscript digit not at the end of the stem"},
    {"COM\xc2\xbc", "COM\x01" "00BC", "a quarter is no digit"},
    {"CON\xc3\xa9.txt", "CON\x01" "00E9.txt", "longer than a device name"},
    {"\xd0\xa1ON", "\x01" "0421ON", "Cyrillic Es, not C"},
};

const NameCase kUtf8Refused[] = {
    {"", "empty"},
    {".", "this folder"},
    {"..", "the folder above"},
    {"\xc3\xa9\\b", "backslash after a character"},
    {"\xc3\xa9/b", "slash"},
    {"\xc3\xa9:s", "stream"},
    {"\xc3\xa9\x1f", "control byte"},
    {"\xc3\xa9?", "wildcard"},
    {"\xc3\xa9.", "trailing dot"},
    {"\xc3\xa9 ", "trailing blank"},
    {"COM\xc2\xb9", "COM with superscript one"},
    {"com\xc2\xb2.txt", "com with superscript two, an extension"},
    {"LPT\xc2\xb3 .log", "LPT with superscript three, blanks before the extension"},
    {"nul.\xc3\xa9", "device with an extension beyond ASCII"},
    {"\xc0\xae", "overlong dot"},
    {"\xc1\xbf", "overlong, the other C1"},
    {"\xe0\x9f\xbf", "overlong in three bytes"},
    {"\xf0\x8f\xbf\xbf", "overlong in four bytes"},
    {"\xed\xa0\x80", "first high surrogate"},
    {"\xed\xbf\xbf", "last low surrogate"},
    {"\xf4\x90\x80\x80", "U+110000"},
    {"\xf5\x80\x80\x80", "a lead byte only values beyond U+10FFFF have"},
    {"\xf8\x88\x80\x80\x80", "five bytes"},
    {"\xff", "no UTF-8 byte"},
    {"\x80", "a continuation byte alone"},
    {"a\xc3", "cut short at the end"},
    {"\xe4\xb8" "a", "cut short by ASCII"},
    {"\xf0\x9f\x98\xe4\xb8\xad", "cut short by another lead"},
    {"\x95\x5c", "Shift-JIS, not UTF-8"},
};

TEST(ArchiveName, Utf8NamesDecodeToEscapedUnits)
{
    for (const Utf8Case& c : kUtf8Accepted) {
        RCAnsiStr form;
        EXPECT_TRUE(DecodeUtf8ArchiveName(c.name, form)) << c.why;
        EXPECT_STREQ(form.Text(), c.form) << c.why;
    }
}

TEST(ArchiveName, Utf8NamesAreRefusedByTheSameRulesAndWhenNotUtf8)
{
    RCAnsiStr form;
    for (const NameCase& c : kUtf8Refused)
        EXPECT_FALSE(DecodeUtf8ArchiveName(c.name, form)) << c.why;
    EXPECT_FALSE(DecodeUtf8ArchiveName(nullptr, form));
}

// In UTF-16 units, as Windows counts: a character beyond U+FFFF counts twice.
TEST(ArchiveName, Utf8LengthCountsUtf16Units)
{
    std::string accents, smileys;
    for (int i = 0; i < 255; ++i)
        accents += "\xc3\xa9";
    for (int i = 0; i < 127; ++i)
        smileys += "\xf0\x9f\x98\x80";
    RCAnsiStr form;
    EXPECT_TRUE(DecodeUtf8ArchiveName(accents.c_str(), form));
    EXPECT_FALSE(DecodeUtf8ArchiveName((accents + "a").c_str(), form));
    EXPECT_TRUE(DecodeUtf8ArchiveName((smileys + "a").c_str(), form));
    EXPECT_FALSE(DecodeUtf8ArchiveName((smileys + "\xf0\x9f\x98\x80").c_str(), form));
}

} // namespace
