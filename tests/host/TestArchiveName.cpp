#include <gtest/gtest.h>

#include <string>

#include "payload/ArchiveName.h"

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

} // namespace
