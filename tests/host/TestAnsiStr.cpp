// RCAnsiStr: buffer sizes, Shift-JIS character classes, positional and
// editing operations, comparisons, conversions between encodings.
//
// Byte texts are written as escapes; a hex escape followed by a hex digit is
// split into two literals ("\x81" "0").
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/RCAnsiStr.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Shift-JIS / UTF-8 forms of a few texts.
const char kSjisNihongo[] = "\x93\xFA\x96\x7B\x8C\xEA"; // 日本語
const char kUtf8Nihongo[] = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
const char kSjisHyou[] = "\x95\x5C"; // 表: second byte is "\"
const char kUtf8Hyou[] = "\xE8\xA1\xA8";
const char kSjisKanaA[] = "\xB1"; // ｱ, half-width
const char kUtf8KanaA[] = "\xEF\xBD\xB1";

std::string Bytes(const RCAnsiStr& s)
{
    return std::string(s.Text(), static_cast<size_t>(s.Length()));
}

int32_t Signed(unsigned char b)
{
    return static_cast<int32_t>(static_cast<int8_t>(b));
}

} // namespace

// ---------------------------------------------------------------------------
// Construction and the buffer rule

TEST(AnsiStr, NewStringIsEmptyWithRoomForGrowth)
{
    RCAnsiStr s;
    EXPECT_STREQ(s.Text(), "");
    EXPECT_EQ(s.Length(), 0);
    EXPECT_EQ(s.Capacity(), 11);
    EXPECT_EQ(s.Encoding(), RCAnsiStr::kAnsi);

    RCAnsiStr initial("abc");
    EXPECT_STREQ(initial.Text(), "abc");
    EXPECT_EQ(initial.Capacity(), 14);

    RCAnsiStr exact("abc", 0);
    EXPECT_EQ(exact.Capacity(), 4);
    // A negative step would make buffers smaller than their content.
    RCAnsiStr negative("abc", -50);
    EXPECT_EQ(negative.Capacity(), 4);
    negative.Append("defgh");
    EXPECT_STREQ(negative.Text(), "abcdefgh");
}

TEST(AnsiStr, ConstructorTakesOnlyAcceptedTags)
{
    const struct {
        int8_t given;
        int8_t stored;
    } cases[] = {{-1, 1}, {0, 0}, {1, 1}, {3, 3}, {2, 1}, {4, 1}, {-2, 1}, {127, 1}};
    for (const auto& c : cases) {
        RCAnsiStr s(kSjisNihongo, 10, c.given);
        EXPECT_EQ(s.Encoding(), c.stored) << int(c.given);
        EXPECT_EQ(Bytes(s), kSjisNihongo) << "no conversion on construction";
    }
}

TEST(AnsiStr, BufferIsReplacedOnlyWhenTooSmallOrTooLarge)
{
    // Each step runs on the string left by the one before.
    const struct {
        bool append;
        const char* text;
        int32_t capacity;
        bool sameBuffer;
    } steps[] = {
        {false, "123456789012345", 26, false}, // 16 > 11: grown to need + 10
        {false, "123456", 26, true},           // need 7 > 26 - 20: kept
        {false, "12345", 16, false},           // need 6 <= 26 - 20: shrunk
        {false, "123456789012345", 16, true},  // need 16 = capacity: kept
        {false, "1234567890123456", 27, false},
        {false, "", 11, false},                // need 1 <= 27 - 20: shrunk
        {true, "0123456789", 11, true},        // need 11 = capacity: in place
        {true, "a", 22, false},                // grown, the old text copied
    };
    RCAnsiStr s;
    std::string expected;
    for (const auto& step : steps) {
        const char* before = s.Text();
        if (step.append) {
            s.Append(step.text);
            expected += step.text;
        } else {
            s.Assign(step.text);
            expected = step.text;
        }
        EXPECT_EQ(Bytes(s), expected) << "step #" << (&step - steps);
        EXPECT_EQ(s.Capacity(), step.capacity) << "step #" << (&step - steps);
        EXPECT_EQ(s.Text() == before, step.sameBuffer) << "step #" << (&step - steps);
    }
}

TEST(AnsiStr, NullTextCountsAsEmpty)
{
    RCAnsiStr s("abc");
    s.Assign(static_cast<const char*>(nullptr));
    EXPECT_STREQ(s.Text(), "");
    EXPECT_EQ(s.Length(), 0);

    s.Assign("abc");
    const char* before = s.Text();
    EXPECT_EQ(s.Append(static_cast<const char*>(nullptr)), before);
    EXPECT_STREQ(s.Append(""), "abc");
    EXPECT_EQ(s.Length(), 3);
}

// Texts that lie inside the string's own buffer are read before that buffer
// is released, whether it is reused or replaced.
TEST(AnsiStr, AcceptsItsOwnBufferAsSource)
{
    RCAnsiStr s("abcdefgh");
    s.Append(s.Text()); // 17 > 11: replaced while reading from the old one
    EXPECT_STREQ(s.Text(), "abcdefghabcdefgh");
    EXPECT_EQ(s.Length(), 16);

    s.Append(s); // the string itself as the other string
    EXPECT_STREQ(s.Text(), "abcdefghabcdefghabcdefghabcdefgh");

    s.Assign(s.Text() + 27); // 5 bytes: the buffer shrinks under the text
    EXPECT_STREQ(s.Text(), "defgh");

    s.Assign("0123456789");
    s.Assign(s.Text() + 4); // same buffer, overlapping move
    EXPECT_STREQ(s.Text(), "456789");

    s.Assign(s);
    EXPECT_STREQ(s.Text(), "456789");

    s.Insert(2, s.Text());
    EXPECT_STREQ(s.Text(), "45456789" "6789");
}

// ---------------------------------------------------------------------------
// Comparing

TEST(AnsiStr, CompareIsBytewiseUnsigned)
{
    const struct {
        const char* left;
        const char* right;
        int32_t order;
    } cases[] = {
        {"a", "b", -1},   {"b", "a", 1},     {"abc", "abc", 0}, {"", "", 0},
        {"", nullptr, 0}, {"a", nullptr, 1}, {"ab", "a", 1},    {"a", "ab", -1},
        {"u", "U", 1},    {"\x80", "z", 1},  {"z", "\xFF", -1}, {"\x81\x40", "\x81\x3F", 1},
    };
    for (const auto& c : cases) {
        RCAnsiStr s(c.left);
        EXPECT_EQ(s.Compare(c.right), c.order) << c.left << " vs " << (c.right ? c.right : "(null)");
        EXPECT_EQ(s.Equals(c.right), c.order == 0) << c.left;
    }
}

// ---------------------------------------------------------------------------
// Character classes

namespace {

// The rule as written: Trail when the byte is past the start, in a trail
// range and the byte before is Lead (looking back as far as it takes);
// otherwise by the byte alone.
int32_t ClassByRule(const std::string& s, size_t pos)
{
    unsigned char b = pos < s.size() ? static_cast<unsigned char>(s[pos]) : 0;
    bool trailRange = (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
    if (pos > 0 && trailRange && ClassByRule(s, pos - 1) == RCAnsiStr::Lead)
        return RCAnsiStr::Trail;
    if (b >= 0xA0 && b <= 0xDF)
        return RCAnsiStr::Kana;
    if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC))
        return RCAnsiStr::Lead;
    if (b < 0x20 || b == 0x7F)
        return RCAnsiStr::Control;
    return RCAnsiStr::Single;
}

} // namespace

TEST(AnsiStr, CharClassFollowsShiftJisRules)
{
    const int32_t S = RCAnsiStr::Single, L = RCAnsiStr::Lead, T = RCAnsiStr::Trail,
                  K = RCAnsiStr::Kana, C = RCAnsiStr::Control;
    const struct {
        const char* text;
        int32_t classes[5]; // one per byte, then the terminator
    } cases[] = {
        {"\x95\x5C\\", {L, T, S, C}},
        {"\x81\x81\x81", {L, T, L, C}}, // the third byte is a lead again
        {"\xE9\x5C", {L, T, C}},        // whatever the system's code page
        {"\xA0\xDF\x80", {K, K, S, C}},
        {"\xFD\xFE\xFF", {S, S, S, C}},
        {"\x1F\x7F ~", {C, C, S, S, C}},
        {"\x81\x40", {L, T, C}},
        {"\x81\x7E", {L, T, C}},
        {"\x81\x7F", {L, C, C}}, // 0x7F is no trail byte
        {"\x81\x3F", {L, S, C}},
        {"\x81\x80", {L, T, C}},
        {"\x81\xA0", {L, T, C}}, // the trail test comes before kana
        {"\x81\xFC", {L, T, C}},
        {"\x81\xFD", {L, S, C}},
        {"\x9F\x40\xE0\x40", {L, T, L, T, C}},
        {"\xFC\x40\xA0\x40", {L, T, K, S, C}},
        {"\x81", {L, C}}, // a lone lead byte: the terminator is no trail
    };
    for (const auto& c : cases) {
        RCAnsiStr s(c.text);
        for (int32_t pos = 0; pos <= s.Length(); ++pos)
            EXPECT_EQ(s.CharClass(pos), c.classes[pos]) << "text #" << (&c - cases) << " pos " << pos;
        EXPECT_EQ(s.CharClass(-1), -1);
        EXPECT_EQ(s.CharClass(s.Length() + 1), -1);
    }
}

// The classes are found by a forward scan; they must agree with the
// look-back rule for every arrangement of the bytes that matter.
TEST(AnsiStr, CharClassAgreesWithLookBackRule)
{
    const unsigned char sample[] = {0x01, 0x3F, 0x40, 0x5C, 0x7E, 0x7F, 0x80, 0x81,
                                    0x9F, 0xA0, 0xDF, 0xE0, 0xFC, 0xFD, 0xFF};
    for (unsigned char a : sample)
        for (unsigned char b : sample)
            for (unsigned char c : sample)
                for (unsigned char d : sample) {
                    std::string text{char(a), char(b), char(c), char(d)};
                    RCAnsiStr s(text.c_str());
                    for (int32_t pos = 0; pos <= 4; ++pos)
                        ASSERT_EQ(s.CharClass(pos), ClassByRule(text, size_t(pos)))
                            << std::hex << int(a) << ' ' << int(b) << ' ' << int(c) << ' ' << int(d) << " @" << pos;
                }
}

// ---------------------------------------------------------------------------
// Single bytes and searches

TEST(AnsiStr, ByteAndCharAccess)
{
    RCAnsiStr hyou("\x95\x5C\\"); // 表 then a real backslash
    EXPECT_EQ(hyou.ByteAt(1), 0x5C);
    EXPECT_EQ(hyou.CharAt(0), Signed(0x95));
    EXPECT_EQ(hyou.CharAt(1), -1);
    EXPECT_EQ(hyou.CharAt(2), 0x5C);
    EXPECT_EQ(hyou.FirstByte(), Signed(0x95));
    EXPECT_EQ(hyou.LastChar(), 0x5C);
    EXPECT_EQ(hyou.FindChar(0x5C), 2);
    EXPECT_EQ(hyou.FindLastChar(0x5C), 2);

    RCAnsiStr alone(kSjisHyou);
    EXPECT_EQ(alone.LastChar(), -1);
    EXPECT_EQ(alone.FindChar('\\'), -1);
    EXPECT_EQ(alone.FindLastChar('\\'), -1);

    RCAnsiStr latin("\xE9\x5C"); // "é\" in code page 1252: still a pair here
    EXPECT_EQ(latin.FindChar(0x5C), -1);
    EXPECT_EQ(latin.LastChar(), -1);

    RCAnsiStr ff("\xFF");
    EXPECT_EQ(ff.ByteAt(0), -1); // a byte 0xFF reads as -1, as a missing one does
    EXPECT_EQ(ff.CharAt(0), -1);

    RCAnsiStr empty;
    EXPECT_EQ(empty.FirstByte(), -1);
    EXPECT_EQ(empty.LastChar(), -1);

    RCAnsiStr abc("abc");
    for (int32_t pos : {-1, 3, 100}) {
        EXPECT_EQ(abc.ByteAt(pos), -1) << pos;
        EXPECT_EQ(abc.CharAt(pos), -1) << pos;
    }
}

TEST(AnsiStr, FindCharSkipsTrailBytes)
{
    const struct {
        const char* text;
        int32_t ch;
        int32_t first;
        int32_t last;
    } cases[] = {
        {"a\\b\\c", '\\', 1, 3},
        {"file.tar.gz", '.', 4, 8},
        {"abc", 'x', -1, -1},
        {"", 'a', -1, -1},
        {"\x95\x5C\x83\x5C", '\\', -1, -1},  // 表ソ: both 0x5C are trail bytes
        {"\x95\x5C\\\x83\x5C\\", '\\', 2, 5},
        {"\x81\x81\x81\x81", 0x81, 0, 2},    // trail 0x81 bytes are skipped
        {"a\x95" "b", 0x95, 1, 1},            // compared as a signed byte...
        {"a\x95" "b", -107, 1, 1},            // ...so both spellings match
        {"\x81" "A\x81" "A", 'A', -1, -1},    // 'A' (0x41) is a trail byte here
    };
    for (const auto& c : cases) {
        RCAnsiStr s(c.text);
        EXPECT_EQ(s.FindChar(c.ch), c.first) << "case #" << (&c - cases);
        EXPECT_EQ(s.FindLastChar(c.ch), c.last) << "case #" << (&c - cases);
    }
}

TEST(AnsiStr, FindTextComparesPlainBytes)
{
    const struct {
        const char* text;
        const char* needle;
        int32_t start;
        int32_t found;
    } cases[] = {
        {"abc", "b", 0, 1},      {"abc", "b", 1, 1},    {"abc", "b", 2, -1},
        {"abc", "b", 3, -1},     // start at the length: nothing after it
        {"abc", "b", 4, -1},     // start beyond the length
        {"abc", "", 1, 1},       {"abc", "", 3, 3},     {"abc", "", 4, -1},
        {"abc", nullptr, 0, -1}, {"abc", "abcd", 0, -1}, {"abcabc", "bc", 2, 4},
        {"", "", 0, 0},          {"\x95\x5C", "\\", 0, 1}, // no class check
    };
    for (const auto& c : cases) {
        RCAnsiStr s(c.text);
        EXPECT_EQ(s.FindText(c.needle, c.start), c.found) << "case #" << (&c - cases);
    }
}

TEST(AnsiStr, SetByteAtOverwritesInPlace)
{
    RCAnsiStr s("abc");
    const char* buffer = s.Text();
    EXPECT_EQ(s.SetByteAt(1, 'x'), buffer);
    EXPECT_STREQ(s.Text(), "axc");
    for (int32_t pos : {-1, 3, 100})
        EXPECT_EQ(s.SetByteAt(pos, 'y'), nullptr) << pos;
    EXPECT_STREQ(s.Text(), "axc");

    RCAnsiStr pair(kSjisHyou); // no class check: a trail byte can be written
    pair.SetByteAt(1, 'A');
    EXPECT_EQ(Bytes(pair), "\x95" "A");

    // A zero ends the text there, so nothing hides behind it.
    s.SetByteAt(1, '\0');
    EXPECT_EQ(s.Length(), 1);
    s.Append("z");
    EXPECT_EQ(Bytes(s), "az");
}

// ---------------------------------------------------------------------------
// Editing

TEST(AnsiStr, EditingKeepsDoubleByteCharactersWhole)
{
    enum Op { Delete, DeleteFirst, DeleteLast, KeepAfter, KeepBefore, Insert };
    const struct {
        Op op;
        const char* text;
        int32_t pos;
        const char* insert;
        const char* result;
    } cases[] = {
        {Delete, "abc", 1, nullptr, "ac"},
        {Delete, "abc", -1, nullptr, "abc"},
        {Delete, "abc", 3, nullptr, "abc"},
        {Delete, "\x95\x5Cx", 0, nullptr, "x"},
        {Delete, "\x95\x5Cx", 1, nullptr, "x"}, // a trail byte takes its lead along
        {Delete, "x\x95\x5C", 2, nullptr, "x"},
        {Delete, "\x81" "0", 0, nullptr, "0"}, // 0x30 is no trail byte
        {Delete, "a\x81", 1, nullptr, "a"},     // a lone lead byte at the end
        {DeleteFirst, "\x95\x5Cx", 0, nullptr, "x"},
        {DeleteFirst, "", 0, nullptr, ""},
        {DeleteLast, "\x95\x5C", 0, nullptr, ""},
        {DeleteLast, "ab", 0, nullptr, "a"},
        {DeleteLast, "", 0, nullptr, ""},
        {KeepAfter, "abc", 1, nullptr, "c"},
        {KeepAfter, "abc", -1, nullptr, "abc"},
        {KeepAfter, "abc", 3, nullptr, ""},
        {KeepAfter, "abc", 100, nullptr, ""},
        {KeepAfter, "\x81" "0", 0, nullptr, ""}, // the byte after a lead always goes with it
        {KeepAfter, "\x81" "01", 0, nullptr, "1"},
        {KeepAfter, "\x95\x5C" "ab", 0, nullptr, "ab"},
        {KeepAfter, "\x95\x5C" "ab", 1, nullptr, "ab"},
        {KeepAfter, "ab\x81", 2, nullptr, ""}, // a lone lead byte that ends the text
        {KeepBefore, "abc", 1, nullptr, "a"},
        {KeepBefore, "abc", 0, nullptr, ""},
        {KeepBefore, "abc", 3, nullptr, "abc"},
        {KeepBefore, "abc", -1, nullptr, ""},
        {KeepBefore, "x\x95\x5Cy", 1, nullptr, "x"},
        {KeepBefore, "x\x95\x5Cy", 2, nullptr, "x"},
        {KeepBefore, "x\x95\x5Cy", 3, nullptr, "x\x95\x5C"},
        {Insert, "ab", 100, "x", "abx"},
        {Insert, "ab", -5, "x", "xab"},
        {Insert, "ab", 1, "", "ab"},
        {Insert, "ab", 1, nullptr, "ab"},
        {Insert, "ab", 1, "xy", "axyb"},
        {Insert, "ab", 2, "x", "abx"},
        {Insert, "\x95\x5C" "a", 1, "x", "x\x95\x5C" "a"}, // before the whole character
        {Insert, "", 0, "x", "x"},
    };
    for (const auto& c : cases) {
        RCAnsiStr s(c.text);
        switch (c.op) {
        case Delete: s.DeleteChar(c.pos); break;
        case DeleteFirst: s.DeleteFirstChar(); break;
        case DeleteLast: s.DeleteLastChar(); break;
        case KeepAfter: s.KeepAfter(c.pos); break;
        case KeepBefore: s.KeepBefore(c.pos); break;
        case Insert: s.Insert(c.pos, c.insert); break;
        }
        EXPECT_EQ(Bytes(s), c.result) << "case #" << (&c - cases);
        EXPECT_EQ(s.Length(), static_cast<int32_t>(std::string(c.result).size()));
    }
}

TEST(AnsiStr, EditingAppliesBufferRuleToResult)
{
    RCAnsiStr s("abcdefghijklmnopqrstuvwxyz0123"); // 30 bytes, capacity 41
    ASSERT_EQ(s.Capacity(), 41);
    s.KeepBefore(5); // need 6 <= 41 - 20
    EXPECT_STREQ(s.Text(), "abcde");
    EXPECT_EQ(s.Capacity(), 16);
    s.Insert(0, "0123456789"); // need 16 = capacity: kept
    EXPECT_STREQ(s.Text(), "0123456789abcde");
    EXPECT_EQ(s.Capacity(), 16);
}

// ---------------------------------------------------------------------------
// Numbers

TEST(AnsiStr, ToIntFollowsAtoiWithWrapAround)
{
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"594984", 594984},  {"  -7", -7},   {"", 0},         {"abc", 0},
        {"12abc", 12},       {"+5", 5},      {"007", 7},      {"\t\n\v\f\r 8", 8},
        {"- 5", 0},          {"+-5", 0},     {"0x10", 0},     {"1 2", 1},
        {"2147483647", INT32_MAX},           {"-2147483648", INT32_MIN},
        {"2147483648", INT32_MIN},           // no overflow check: 32-bit wrap-around
        {"4294967297", 1},   {"99999999999", 1215752191},
        {"\xA0" "5", 0},     // only the C locale's white space is skipped
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RCAnsiStr(c.text).ToInt(), c.value) << c.text;
        EXPECT_EQ(RCAnsiStr::ParseInt(c.text), c.value) << c.text;
    }
    EXPECT_EQ(RCAnsiStr::ParseInt(nullptr), 0);
}

TEST(AnsiStr, FormatUsesPrintfRules)
{
    RCAnsiStr s;
    EXPECT_STREQ(s.Format("%08X", 255u), "000000FF");
    EXPECT_STREQ(s.Format("%08X", 0x1A2Bu), "00001A2B");
    EXPECT_STREQ(s.Format("%d.%d Bild%d %s", 6, 1, 7601, "Service Pack 1"), "6.1 Bild7601 Service Pack 1");
    EXPECT_STREQ(s.Format("%d.%d.%d.%d", 1, 0, 12, 345), "1.0.12.345");
    EXPECT_EQ(s.Length(), 10);
    s.Assign("abc");
    EXPECT_STREQ(s.Format("%s-%s", s.Text(), s.Text()), "abc-abc"); // its own text as an argument
}

TEST(AnsiStr, FormatStaysInsideItsScratchBuffer)
{
    const int32_t most = RCAnsiStr::kFormatBuffer - 1;
    std::string exact(static_cast<size_t>(most), 'x');
    RCAnsiStr s;
    s.Format("%s", exact.c_str());
    EXPECT_EQ(s.Length(), most);
    EXPECT_EQ(Bytes(s), exact);

    // A longer result is cut, never written past the buffer.
    std::string longer(20000, 'y');
    s.Format("ab%s", longer.c_str());
    ASSERT_EQ(s.Length(), most);
    EXPECT_EQ(Bytes(s), "ab" + longer.substr(0, static_cast<size_t>(most - 2)));
}

// ---------------------------------------------------------------------------
// Encodings. The ANSI code page is Shift-JIS here: code page 932 on the host
// (by choice), and under the Windows test runner's Japanese locale.

#ifdef _WIN32
TEST(AnsiStr, RunnerUsesCodePage932)
{
    ASSERT_EQ(GetACP(), 932u) << "the Windows tests need a Japanese ANSI code page";
}
#endif

TEST(AnsiStr, SetEncodingRefusesUnknownTags)
{
    for (int8_t tag : {2, 4, -2, 127, -128}) {
        RCAnsiStr s(kSjisNihongo);
        EXPECT_FALSE(s.SetEncoding(tag, true)) << int(tag);
        EXPECT_FALSE(s.SetEncoding(tag, false)) << int(tag);
        EXPECT_EQ(s.Encoding(), RCAnsiStr::kAnsi);
        EXPECT_EQ(Bytes(s), kSjisNihongo);
    }
    RCAnsiStr s(kSjisNihongo, 10, RCAnsiStr::kRaw);
    EXPECT_TRUE(s.SetEncoding(RCAnsiStr::kDefault, false));
    EXPECT_EQ(s.Encoding(), RCAnsiStr::kAnsi);
}

TEST(AnsiStr, SetEncodingConvertsText)
{
    const struct {
        int8_t from;
        const char* text;
        int8_t to;
        bool convert;
        const char* result;
    } cases[] = {
        {1, kSjisNihongo, 3, true, kUtf8Nihongo},
        {3, kUtf8Nihongo, 1, true, kSjisNihongo},
        {3, kUtf8Nihongo, -1, true, kSjisNihongo},
        {3, kUtf8Nihongo, 0, true, kSjisNihongo}, // raw takes the ANSI code page's bytes
        {0, kSjisNihongo, 3, true, kSjisNihongo}, // raw bytes are never reinterpreted
        {0, kUtf8Nihongo, 1, true, kUtf8Nihongo},
        {1, kSjisNihongo, 3, false, kSjisNihongo}, // the tag alone
        {1, kSjisNihongo, 1, true, kSjisNihongo},
        {1, kSjisHyou, 3, true, kUtf8Hyou},
        {3, kUtf8Hyou, 1, true, kSjisHyou},
        {1, kSjisKanaA, 3, true, kUtf8KanaA},
        {3, kUtf8KanaA, 1, true, kSjisKanaA},
        {1, "C:\\a~b", 3, true, "C:\\a~b"}, // 0x5C and 0x7E stay as they are
        {1, "", 3, true, ""},
    };
    for (const auto& c : cases) {
        RCAnsiStr s(c.text, 10, c.from);
        EXPECT_TRUE(s.SetEncoding(c.to, c.convert)) << "case #" << (&c - cases);
        EXPECT_EQ(s.Encoding(), c.to == -1 ? 1 : c.to);
        EXPECT_EQ(Bytes(s), c.result) << "case #" << (&c - cases);
    }
}

TEST(AnsiStr, AssignAndAppendConvertOtherStrings)
{
    RCAnsiStr utf8(kUtf8Nihongo, 10, RCAnsiStr::kUtf8);
    RCAnsiStr ansi("x");
    ansi.Append(utf8);
    EXPECT_EQ(Bytes(ansi), std::string("x") + kSjisNihongo);
    EXPECT_EQ(ansi.Encoding(), RCAnsiStr::kAnsi);
    ansi.Assign(utf8);
    EXPECT_EQ(Bytes(ansi), kSjisNihongo);
    EXPECT_EQ(ansi.Encoding(), RCAnsiStr::kAnsi);

    RCAnsiStr back("a", 10, RCAnsiStr::kUtf8);
    back.Append(ansi);
    EXPECT_EQ(Bytes(back), std::string("a") + kUtf8Nihongo);
    back.Assign(ansi);
    EXPECT_EQ(Bytes(back), kUtf8Nihongo);

    // Equal tags copy the bytes as they are.
    RCAnsiStr raw(kUtf8Nihongo, 10, RCAnsiStr::kRaw);
    RCAnsiStr raw2("", 10, RCAnsiStr::kRaw);
    raw2.Assign(raw);
    raw2.Append(raw);
    EXPECT_EQ(Bytes(raw2), std::string(kUtf8Nihongo) + kUtf8Nihongo);
    // A raw source is never reinterpreted.
    ansi.Assign(raw);
    EXPECT_EQ(Bytes(ansi), kUtf8Nihongo);
    EXPECT_EQ(ansi.Encoding(), RCAnsiStr::kAnsi);
}

#ifndef _WIN32
// On the host a text that cannot be converted is refused. (Windows converts
// such texts with a default character instead of failing.)
TEST(AnsiStr, FailedConversionChangesNothing)
{
    const struct {
        int8_t from;
        const char* text;
        int8_t to;
    } cases[] = {
        {3, "\xFF", 1},         // not UTF-8
        {3, "ab\xE6\x97", 1},   // UTF-8 cut short
        {1, "a\x81", 3},        // a lone lead byte at the end
        {3, "\xE2\x82\xAC", 1}, // the euro sign has no Shift-JIS form
    };
    for (const auto& c : cases) {
        RCAnsiStr s(c.text, 10, c.from);
        EXPECT_FALSE(s.SetEncoding(c.to, true)) << "case #" << (&c - cases);
        EXPECT_EQ(s.Encoding(), c.from);
        EXPECT_EQ(Bytes(s), c.text);
    }

    // Assign keeps the copied text under the other's tag when it cannot be
    // converted; Append adds it as it is.
    RCAnsiStr bad("\xFF", 10, RCAnsiStr::kUtf8);
    RCAnsiStr ansi("abc");
    ansi.Assign(bad);
    EXPECT_EQ(Bytes(ansi), "\xFF");
    EXPECT_EQ(ansi.Encoding(), RCAnsiStr::kUtf8);

    RCAnsiStr other("x");
    other.Append(bad);
    EXPECT_EQ(Bytes(other), "x\xFF");
    EXPECT_EQ(other.Encoding(), RCAnsiStr::kAnsi);
}
#endif
