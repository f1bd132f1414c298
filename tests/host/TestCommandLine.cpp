// Where the launcher's own arguments begin on its command line: after the
// program's name, read as Windows' C runtime reads the first argument.
#include <gtest/gtest.h>

#include <string>

#include "support/CommandLine.h"

TEST(CommandLine, TheArgumentsFollowTheProgramsName)
{
    const struct {
        const char* commandLine;
        const char* arguments;
    } cases[] = {
        {"", ""},
        {"setup.exe", ""},
        {"\"C:\\My Downloads\\setup.exe\"", ""},
        {"setup.exe /S", "/S"},
        {"\"C:\\My Downloads\\setup.exe\" /S /D=C:\\Apps", "/S /D=C:\\Apps"},
        // Blanks and tabs after the name are not the arguments'; after
        // them everything is, its own blanks included.
        {"setup.exe \t  /S  /v\t", "/S  /v\t"},
        // A quote opens and closes a quoted part anywhere in the name.
        {"C:\\\"My Downloads\"\\setup.exe /S", "/S"},
        {"\"C:\\a b\"\\\"c d\"\\setup.exe x", "x"},
        // No backslash escapes anything in the name: the quote after it
        // closes the quoted part.
        {"\"C:\\dir\\\" /S", "/S"},
        {"\"C:\\dir\\\" /S\" /T", "/S\" /T"},
        // An unclosed quote takes the rest.
        {"\"C:\\setup.exe /S", ""},
        // The arguments are taken as they are: quotes and backslashes too.
        {"setup.exe \"a\\\"b\" c\\\\\"d e\" \\\\\\\"x", "\"a\\\"b\" c\\\\\"d e\" \\\\\\\"x"},
        // Shift-JIS names: a second byte is never a quote, a blank or a tab;
        // ソ (83 5C) ends in a backslash byte.
        {"\"C:\\\x83\x5C\x83\x74\x83\x67\\setup.exe\" /NAME=\x93\xFA\x96\x7B", "/NAME=\x93\xFA\x96\x7B"},
        // A character kept as an escaped unit (the byte 0x01 and four digits).
        {"C:\\\x01" "00E9\\setup.exe /S", "/S"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        EXPECT_EQ(std::string(SkipProgramName(c.commandLine)), c.arguments);
    }
    EXPECT_EQ(std::string(SkipProgramName(nullptr)), "");
}
