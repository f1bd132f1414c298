// The progress window and the flow around it, watched from outside: the
// test variant of the stub (flow doubles) runs under the window watcher.
//
// CTest runs this program twice: in the Japanese locale (ANSI code page
// 932) and in an English one (1252), telling it through QM_EXPECT_ACP which
// code page the run must have. Whatever the code page, the texts read back
// through the wide functions are the Japanese ones; on 932 the ANSI reads
// give the very bytes of the texts too.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/win/WatchedRun.h"

namespace {

// "セットアップ準備中..."
const std::string kCaption = "\x83\x5A\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76\x8F\x80\x94\xF5\x92\x86...";
// "インストーラを展開しています。しばらくお待ちください。"
const std::string kLabel =
    "\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x89\x82\xF0\x93\x57\x8A\x4A\x82\xB5\x82\xC4\x82\xA2"
    "\x82\xDC\x82\xB7\x81\x42\x82\xB5\x82\xCE\x82\xE7\x82\xAD\x82\xA8\x91\xD2\x82\xBF\x82\xAD\x82\xBE"
    "\x82\xB3\x82\xA2\x81\x42";
// "作業用のフォルダが作成できません。" and "エラー", as the message double shows them.
const std::string kFolderMessage = "\x8D\xEC\x8B\xC6\x97\x70\x82\xCC\x83\x74\x83\x48\x83\x8B\x83\x5F\x82\xAA\x8D\xEC"
                                   "\x90\xAC\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x81\x42";
const std::string kErrorCaption = "\x83\x47\x83\x89\x81\x5B";

// The code page the run must have: QM_EXPECT_ACP, 932 when it is not set.
std::string ExpectedCodePage()
{
    const char* expected = std::getenv("QM_EXPECT_ACP");
    return expected != nullptr ? expected : "932";
}

// The runs are what they claim to be: the watcher, and so the stub it
// starts, see the code page asked for. Otherwise the English run would only
// repeat the Japanese one.
TEST(ProgressWindow, RunsInTheCodePageAskedFor)
{
    EXPECT_EQ(std::to_string(GetACP()), ExpectedCodePage());
    WatchedRun run = Watch(TestVariant(), "watch", {{"QM_FAKE_FLOW", "fail"}});
    EXPECT_EQ(run["acp"], ExpectedCodePage());
}

const std::string kExtractLine = std::string("extract ") + kTestVariantName;

struct Box {
    long left, top, width, height;
};

Box ParseBox(const std::string& text)
{
    Box box = {-1, -1, -1, -1};
    std::sscanf(text.c_str(), "%ld,%ld,%ld,%ld", &box.left, &box.top, &box.width, &box.height);
    return box;
}

unsigned long Hex(const std::string& text)
{
    return std::strtoul(text.c_str(), nullptr, 16);
}

TEST(ProgressWindow, LayoutTextsAndOwner)
{
    WatchedRun run = Watch(TestVariant(), "watch", {{"QM_FAKE_FLOW", "busy"}});
    ASSERT_EQ(run["started"], "1");
    EXPECT_EQ(run["form.caption.wide"], u8"セットアップ準備中...");
    EXPECT_EQ(run["label.text.wide"], u8"インストーラを展開しています。しばらくお待ちください。");
    if (GetACP() == 932) {
        EXPECT_EQ(run["form.caption"], kCaption);
        EXPECT_EQ(run["label.text"], kLabel);
    }
    EXPECT_EQ(run["form.client"], "308x45");
    EXPECT_EQ(run["label.rect"], "16,16,274,12");

    // Centred on the screen.
    Box window = ParseBox(run["form.window"]);
    long screenWidth = 0, screenHeight = 0;
    ASSERT_EQ(std::sscanf(run["screen"].c_str(), "%ldx%ld", &screenWidth, &screenHeight), 2) << run["screen"];
    EXPECT_EQ(window.left, (screenWidth - window.width) / 2) << run["form.window"];
    EXPECT_EQ(window.top, (screenHeight - window.height) / 2) << run["form.window"];

    // A caption and a single fixed border; no system menu, no minimise or
    // maximise box, no sizing frame, no double (dialog) frame.
    unsigned long style = Hex(run["form.style"]);
    unsigned long exStyle = Hex(run["form.exstyle"]);
    EXPECT_EQ(style & WS_CAPTION, static_cast<unsigned long>(WS_CAPTION)) << run["form.style"];
    EXPECT_EQ(style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0ul) << run["form.style"];
    EXPECT_EQ(exStyle & WS_EX_DLGMODALFRAME, 0ul) << run["form.exstyle"];

    // Owned by the application's taskbar window, which has no size.
    EXPECT_EQ(run["owner.class"], "QuillimarkApplication");
    EXPECT_EQ(run["owner.visible"], "1");
    EXPECT_EQ(run["owner.size"], "0x0");

    EXPECT_EQ(run["timeout"], "");
    EXPECT_EQ(run["exit"], "0");
}

TEST(ProgressWindow, RefusesEveryCloseWhileVisibleAndEndsByItself)
{
    WatchedRun run = Watch(TestVariant(), "close", {{"QM_FAKE_FLOW", "busy"}});
    for (const char* attempt : {"wm_close", "sc_close", "alt_f4", "owner_close", "owner_minimize"})
        EXPECT_EQ(run[std::string("after.") + attempt], "visible") << attempt;
    EXPECT_EQ(run["timeout"], "");
    EXPECT_EQ(run["exit"], "0");
    // The work ran once: neither the messages let through nor the close
    // attempts started it again.
    EXPECT_EQ(run.calls, std::vector<std::string>{kExtractLine});
}

// One pass whatever extraction returns: launch only after success (it can
// hide both windows, and the closing still works), the title is the
// program's file name during the work, and the program ends by itself with
// status 0.
TEST(ProgressWindow, OnePassOfTheFlow)
{
    struct Case {
        const char* mode;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"fail", {kExtractLine}},
        {"succeed", {kExtractLine, "launch hidden"}},
        {"message", {kExtractLine}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        WatchedRun run = Watch(TestVariant(), "watch", {{"QM_FAKE_FLOW", c.mode}});
        EXPECT_EQ(run.calls, c.calls);
        EXPECT_EQ(run["timeout"], "");
        EXPECT_EQ(run["exit"], "0");
    }
}

TEST(ProgressWindow, MessagesAreOwnedByTheApplication)
{
    WatchedRun run = Watch(TestVariant(), "watch", {{"QM_FAKE_FLOW", "message"}});
    EXPECT_EQ(run["box1.text.wide"], u8"作業用のフォルダが作成できません。");
    EXPECT_EQ(run["box1.caption.wide"], u8"エラー");
    if (GetACP() == 932) {
        EXPECT_EQ(run["box1.text"], kFolderMessage);
        EXPECT_EQ(run["box1.caption"], kErrorCaption);
    }
    EXPECT_EQ(run["box1.owner"], "QuillimarkApplication");
    EXPECT_EQ(run["box1.icon"], "error");
    EXPECT_EQ(run["box1.form"], "visible");
    EXPECT_EQ(run["box2.text"], "");
    EXPECT_EQ(run["exit"], "0");
}

} // namespace
