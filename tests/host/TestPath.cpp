// Paths: parsing, the join rule and component edits. Runs on the host (where
// the program's own file is C:\p\q\run.exe) and under Wine (where it is the
// test program itself), so relative cases are checked against whatever
// SetToModuleFile reports.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/RCPath.h"
#include "support/RCAnsiStr.h"

namespace {

// The components joined with "|", to compare a whole list at once.
std::string Components(const RCPath& path)
{
    std::string all;
    for (int32_t i = 0; i < path.Count(); ++i) {
        if (i > 0)
            all += "|";
        all += path.Component(i);
    }
    return all;
}

std::string ModuleFolder()
{
    RCPath folder;
    SetToModuleFile(folder);
    folder.RemoveLast();
    return folder.Text();
}

std::string ParentOfModuleFolder()
{
    RCPath folder;
    SetToModuleFile(folder);
    folder.RemoveLast();
    folder.RemoveLast();
    return folder.Text();
}

} // namespace

TEST(Path, ParsesAbsoluteTexts)
{
    struct Case {
        const char* text;
        const char* components;
        const char* joined;
    };
    const Case cases[] = {
        {"C:\\a\\.\\b\\..\\c", "C:|a|c", "C:\\a\\c"},
        {"C:\\", "C:", "C:"},
        {"C:", "C:", "C:"},
        {"C:\\a\\\\b\\", "C:|a|b", "C:\\a\\b"},          // runs and a trailing separator
        {"C:\\a\\\\\\\\b\\\\\\", "C:|a|b", "C:\\a\\b"},
        {"\\\\server\\share\\dir", "\\|server|share|dir", "\\\\server\\share\\dir"},
        {"\\\\server", "\\|server", "\\\\server"},        // a bare server name
        {"\\\\", "\\", "\\"},
        {"\\\\\\x", "\\", "\\"},                          // three backslashes: the root alone
        {"\\\\\\\\x\\y", "\\", "\\"},
        {"\\\\server\\\\share", "\\|server|share", "\\\\server\\share"},
        {"C:\\..\\x", "x", "x"},                          // ".." takes the drive too
        {"C:\\a\\..\\..\\..\\x", "..|x", "..\\x"},        // a ".." at index 0 stays
        {"C:\\..", "", ""},
        {"C:\\.\\.", "C:", "C:"},
        {"C:\\a\\.b\\..c\\...", "C:|a|.b|..c|...", "C:\\a\\.b\\..c\\..."},
        {"\\\\server\\share\\..\\..\\x", "\\|x", "\\\\x"},
        {"\\\\..\\x", "x", "x"},                          // ".." takes the UNC root
        {"C:x", "C:x", "C:x"},
        {"C:x\\y", "C:x|y", "C:x\\y"},
        {"C:/a/b", "C:/a/b", "C:/a/b"},                   // only backslashes separate
        {"1:\\a", "1:|a", "1:\\a"},
    };
    for (const Case& c : cases) {
        RCPath path(c.text);
        EXPECT_EQ(Components(path), c.components) << c.text;
        EXPECT_STREQ(path.Text(), c.joined) << c.text;
    }
}

TEST(Path, EmptyOrMissingTextGivesAnEmptyPath)
{
    RCPath none(nullptr);
    EXPECT_EQ(none.Count(), 0);
    EXPECT_STREQ(none.Text(), "");

    RCPath path("C:\\a\\b");
    EXPECT_TRUE(path.SetPath(""));
    EXPECT_EQ(path.Count(), 0);
    EXPECT_STREQ(path.Text(), "");

    path.SetPath("C:\\a");
    EXPECT_TRUE(path.SetPath(nullptr));
    EXPECT_EQ(path.Count(), 0);
    EXPECT_STREQ(path.Text(), "");
}

TEST(Path, SetPathReplacesTheWholePath)
{
    RCPath path("C:\\a\\b\\c");
    path.SetPath("D:\\x");
    EXPECT_EQ(Components(path), "D:|x");
    EXPECT_STREQ(path.Text(), "D:\\x");
}

TEST(Path, RelativeTextsGoBelowTheProgramsFolder)
{
    const std::string folder = ModuleFolder();
    const std::string parent = ParentOfModuleFolder();
    ASSERT_NE(folder, "");
    ASSERT_NE(parent, "");

    struct Case {
        const char* text;
        std::string joined;
    };
    const Case cases[] = {
        {"x", folder + "\\x"},
        {"\\x", folder + "\\x"},                 // one leading backslash is relative too
        {"x\\y\\", folder + "\\x\\y"},
        {".", folder},
        {".\\x\\.\\y", folder + "\\x\\y"},
        {"..\\x", parent + "\\x"},
        {"x\\..\\..\\y", parent + "\\y"},
        {"\\", folder},
    };
    for (const Case& c : cases) {
        RCPath path(c.text);
        EXPECT_EQ(path.Text(), c.joined) << c.text;
    }
}

#ifndef _WIN32
TEST(Path, HostProgramIsAFixedFile)
{
    RCPath module;
    EXPECT_TRUE(SetToModuleFile(module));
    EXPECT_STREQ(module.Text(), "C:\\p\\q\\run.exe");

    // The examples the host's fixed file makes exact.
    EXPECT_STREQ(RCPath("x").Text(), "C:\\p\\q\\x");
    EXPECT_STREQ(RCPath("..\\x").Text(), "C:\\p\\x");
    EXPECT_STREQ(RCPath("\\x").Text(), "C:\\p\\q\\x");
    EXPECT_STREQ(RCPath("..\\..\\..\\x").Text(), "x");
}
#endif

// 0x95 0x5C, 0x83 0x5C and 0x94 0x5C are double-byte characters whose second
// byte is a backslash; it must never split them.
TEST(Path, DoubleByteCharactersEndingIn5CSplitNothing)
{
    struct Case {
        const char* text;
        const char* components;
        const char* joined;
    };
    const Case cases[] = {
        // C:\表\ソ能.txt
        {"C:\\\x95\x5C\\\x83\x5C\x94\x5C.txt", "C:|\x95\x5C|\x83\x5C\x94\x5C.txt",
         "C:\\\x95\x5C\\\x83\x5C\x94\x5C.txt"},
        // a name ending in 表 keeps its 0x5C when a separator follows
        {"C:\\a\x95\x5C\\\\b\\", "C:|a\x95\x5C|b", "C:\\a\x95\x5C\\b"},
        {"C:\\a\x95\x5C", "C:|a\x95\x5C", "C:\\a\x95\x5C"},
        // UNC names with them
        {"\\\\\x83\x5C\\\x94\x5C", "\\|\x83\x5C|\x94\x5C", "\\\\\x83\x5C\\\x94\x5C"},
        // half-width katakana are single bytes: the 0x5C after one separates
        {"C:\\\xB1\\x", "C:|\xB1|x", "C:\\\xB1\\x"},
    };
    for (const Case& c : cases) {
        RCPath path(c.text);
        EXPECT_EQ(Components(path), c.components) << c.text;
        EXPECT_STREQ(path.Text(), c.joined) << c.text;
    }
}

TEST(Path, AppendComponentStoresTheTextUnchanged)
{
    RCPath path("C:\\a");
    EXPECT_EQ(path.AppendComponent("\\sub\\"), 2);
    EXPECT_STREQ(path.Component(2), "\\sub\\");
    EXPECT_STREQ(path.Last(), "\\sub\\");
    EXPECT_STREQ(path.Text(), "C:\\a\\sub");

    struct Case {
        const char* base;
        const char* component;
        const char* joined;
    };
    const Case cases[] = {
        {"", "C:", "C:"},
        {"C:", "Windows", "C:\\Windows"},
        {"C:\\a", "", "C:\\a"},                  // an empty component adds nothing
        {"C:\\a", "\\\\\\", "C:\\a"},           // nor one of backslashes only
        {"C:\\a", "b\\c", "C:\\a\\b\\c"},        // inner backslashes stay
        {"C:\\a", ".", "C:\\a\\."},             // no normalising here
        {"C:\\a", "\x95\x5C", "C:\\a\\\x95\x5C"}, // 表: its 0x5C is no trailing separator
        {"\\\\server", "share", "\\\\server\\share"},
    };
    for (const Case& c : cases) {
        RCPath p(c.base);
        int32_t before = p.Count();
        EXPECT_EQ(p.AppendComponent(c.component), before) << c.base << " + " << c.component;
        EXPECT_EQ(p.Count(), before + 1);
        EXPECT_STREQ(p.Text(), c.joined) << c.base << " + " << c.component;
    }

    RCPath nothing;
    nothing.AppendComponent(nullptr);
    EXPECT_EQ(nothing.Count(), 1);
    EXPECT_STREQ(nothing.Component(0), "");
    EXPECT_STREQ(nothing.Text(), "");
}

TEST(Path, UncRootIsKeptOnlyAtTheStart)
{
    RCPath path;
    path.AppendComponent("\\");
    EXPECT_STREQ(path.Text(), "\\");
    path.AppendComponent("server");
    path.AppendComponent("share");
    EXPECT_STREQ(path.Text(), "\\\\server\\share");

    RCPath later("C:\\a");
    later.AppendComponent("\\");
    EXPECT_STREQ(later.Text(), "C:\\a");
}

// A component ending in a lone lead byte: the joined text gains no
// separator behind it (one would read as the character's second byte).
TEST(Path, LoneLeadByteAtTheEndGainsNoSeparator)
{
    RCPath path("C:\\a\x95");
    EXPECT_EQ(Components(path), "C:|a\x95");
    EXPECT_STREQ(path.Text(), "C:\\a\x95");
}

TEST(Path, RemoveLastChangesTheCountByOne)
{
    RCPath path("\\\\server\\share");
    const char* expected[] = {"\\\\server", "\\", ""};
    for (const char* joined : expected) {
        int32_t before = path.Count();
        EXPECT_TRUE(path.RemoveLast());
        EXPECT_EQ(path.Count(), before - 1);
        EXPECT_STREQ(path.Text(), joined);
    }
    EXPECT_FALSE(path.RemoveLast());
    EXPECT_EQ(path.Count(), 0);
    EXPECT_STREQ(path.Text(), "");

    RCPath drive("C:\\Windows");
    EXPECT_TRUE(drive.RemoveLast());
    EXPECT_STREQ(drive.Text(), "C:");
}

TEST(Path, ComponentLastAndExtensionOutOfRangeAreEmpty)
{
    RCPath empty;
    EXPECT_STREQ(empty.Component(0), "");
    EXPECT_STREQ(empty.Component(-1), "");
    EXPECT_STREQ(empty.Last(), "");
    EXPECT_STREQ(empty.Extension(), "");

    RCPath path("C:\\dir\\file.txt");
    EXPECT_STREQ(path.Component(-1), "");
    EXPECT_STREQ(path.Component(0), "C:");
    EXPECT_STREQ(path.Component(2), "file.txt");
    EXPECT_STREQ(path.Component(3), "");
    EXPECT_STREQ(path.Last(), "file.txt");
}

TEST(Path, ExtensionIsWhatFollowsTheLastDot)
{
    struct Case {
        const char* text;
        const char* extension;
    };
    const Case cases[] = {
        {"C:\\a.tar.gz", "gz"},
        {"C:\\name", ""},
        {"C:\\name.", ""},
        {"C:\\.profile", "profile"},
        {"C:\\dir.d\\name", ""},                 // only the last component counts
        {"C:\\\x83\x5C.txt", "txt"},             // ソ.txt
        {"C:\\a.\x95\x5C", "\x95\x5C"},            // a.表
    };
    for (const Case& c : cases) {
        RCPath path(c.text);
        EXPECT_STREQ(path.Extension(), c.extension) << c.text;
    }
}

TEST(Path, ExtensionPointsIntoTheStoredComponent)
{
    RCPath path("C:\\setup.exe");
    const char* last = path.Last();
    EXPECT_EQ(path.Extension(), last + 6);
}

// Random texts from bytes that matter to the parser (separators, dots, a
// colon, lead bytes whose second byte may be 0x5C, a half-width kana): what
// SetPath leaves must hold no separator inside a component, no "." and no
// empty component, and a ".." only at the start; an absolute result must
// parse back into the same components.
TEST(Path, ParsedComponentsKeepTheirShape)
{
    const char alphabet[] = {'\\', '\\', '\\', '.', '.', ':', 'C', 'a', '\x95', '\x83', '\xB1'};
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> length(0, 12);
    std::uniform_int_distribution<size_t> pick(0, sizeof alphabet - 1);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (int n = length(random); n > 0; --n)
            text += alphabet[pick(random)];
        RCPath path(text.c_str());
        for (int32_t i = 0; i < path.Count(); ++i) {
            RCAnsiStr component(path.Component(i));
            if (i == 0 && component.Equals("\\"))
                continue; // the UNC root
            EXPECT_GT(component.Length(), 0) << text;
            EXPECT_EQ(component.FindChar('\\'), -1) << text;
            EXPECT_FALSE(component.Equals(".")) << text;
            EXPECT_TRUE(i == 0 || !component.Equals("..")) << text;
        }
        RCAnsiStr joined(path.Text());
        bool absolute = (joined.ByteAt(0) == '\\' && joined.ByteAt(1) == '\\') || joined.ByteAt(1) == ':';
        if (absolute && path.Count() > 0 && std::string(path.Component(0)) != "..") {
            RCPath again(path.Text());
            EXPECT_EQ(Components(again), Components(path)) << text;
        }
    }
}
