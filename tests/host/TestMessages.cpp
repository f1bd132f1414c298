// Every text the user sees is stored as Shift-JIS bytes; each must read back
// as exactly the Japanese text it stands for.
#include <gtest/gtest.h>

#include "launcher/Messages.h"
#include "support/RCAnsiStr.h"

TEST(Messages, ShiftJisBytesReadAsTheirTexts)
{
    struct Case {
        const char* sjis;
        const char* utf8;
    };
    const Case cases[] = {
        {Messages::kProgressCaption, "セットアップ準備中..."},
        {Messages::kProgressLabel, "インストーラを展開しています。しばらくお待ちください。"},
        {Messages::kProgressFont, "ＭＳ Ｐゴシック"},
        {Messages::kErrorCaption, "エラー"},
        {Messages::kFolderFailed, "作業用のフォルダが作成できません。"},
        {Messages::kDamaged, "ファイルが破損しています。"},
        {Messages::kFileCreateFailed, "作業用のファイルが作成できません。"},
        {Messages::kFileWriteFailed, "作業用のファイルに書き込めません。"},
        {Messages::kAttributesFailed, "作業用のファイルの属性が設定できません。"},
        {Messages::kCannotRun, "プログラムを実行できませんでした。"},
        {Messages::kSetupCaption, "セットアップ"},
        {Messages::kRestartFailed,
         "Windowsの再起動に失敗しました。再起動の権限をもたないユーザーでログオンしています。手動で再起動してください。"},
    };
    for (const Case& c : cases) {
        RCAnsiStr text(c.sjis); // the ANSI code page is 932 here
        ASSERT_TRUE(text.SetEncoding(RCAnsiStr::kUtf8, true)) << c.utf8;
        EXPECT_STREQ(text.Text(), c.utf8);
    }
    EXPECT_EQ(Messages::kErrorStyle, 16u);
}
