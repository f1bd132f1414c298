// A restart that cannot be made: the user does not hold the shutdown
// privilege. The program takes the privilege out of its own token first, so
// restart never reaches the request that would end the Wine session.
#include <gtest/gtest.h>

#include "launcher/Restart.h"
#include "tests/win/LaunchRecorder.h"
#include "tests/win/ShiftJisText.h"
#include "tests/win/ShutdownPrivilege.h"

TEST(Restart, WithoutThePrivilegeTellsTheUserToRestartByHand)
{
    ASSERT_TRUE(ShutdownPrivilege::Remove());
    // The adjustment "succeeds" but assigns nothing: that counts as failure.
    ASSERT_FALSE(set_shutdown_privilege(true));

    LaunchRecorder ui;
    restart(ui, ui.ProgressWindow());

    ASSERT_EQ(ui.Kinds(), "message");
    const LaunchRecorder::Event& shown = ui.Events()[0];
    EXPECT_EQ(shown.owner, ui.ProgressWindow());
    EXPECT_EQ(ShiftJisToUtf8(shown.text),
              u8"Windowsの再起動に失敗しました。再起動の権限をもたないユーザーでログオンしています。"
              u8"手動で再起動してください。");
    EXPECT_EQ(ShiftJisToUtf8(shown.caption), u8"セットアップ");
    EXPECT_EQ(shown.style, 16u);
}
