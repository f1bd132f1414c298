// RCTreeClaim against the real Windows functions (under Wine in CI): a tree
// is deleted whole, through the handles that claimed it, or not at all.
// Every tree lies in a scratch folder of its own on C:.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "support/RCTreeClaim.h"
#include "support/WinHandle.h"
#include "tests/shared/TestFolder.h"
#include "tests/win/TreeSnapshot.h"
#include "tests/win/WineHelpers.h"

using testwin::Attributes;
using testwin::Exists;

namespace {

// A tree with what the removal must handle: nested and read-only folders,
// read-only, hidden and system files, an empty file and an empty folder.
std::string MakeTree(const TestFolder& scratch)
{
    const std::string top = scratch.Join("tree");
    EXPECT_TRUE(scratch.WriteFile("tree\\a.txt", "a"));
    EXPECT_TRUE(scratch.WriteFile("tree\\empty.txt", ""));
    EXPECT_TRUE(scratch.WriteFile("tree\\sub\\deep\\b.bin", "b"));
    EXPECT_TRUE(scratch.WriteFile("tree\\sub\\c.txt", "c"));
    EXPECT_TRUE(CreateDirectoryA((top + "\\none").c_str(), nullptr));
    EXPECT_TRUE(SetFileAttributesA((top + "\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(SetFileAttributesA((top + "\\sub\\deep\\b.bin").c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_TRUE(SetFileAttributesA((top + "\\sub").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    return top;
}

HANDLE OpenShared(const std::string& path, DWORD access, DWORD sharing)
{
    return CreateFileA(path.c_str(), access, sharing, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace

TEST(TreeClaim, ATreeThatNothingUsesGoesWhole)
{
    TestFolder scratch("claim-whole");
    const std::string top = MakeTree(scratch);
    // A link inside goes as the link; its target stays.
    ASSERT_TRUE(scratch.WriteFile("target\\keep.txt", "keep"));
    std::string how;
    const bool linked = testwin::MakeFolderLink(scratch.Path(), top + "\\link", scratch.Join("target"), &how);

    RCTreeClaim claim;
    ASSERT_TRUE(claim.Claim(top.c_str()));
    EXPECT_EQ(claim.Top().GetKind(), RCEntryHandle::kFolder);
    const bool gone = claim.Delete();
    if (linked && Exists(top + "\\link")) {
        // Wine cannot remove a link made on the Linux side: the link and
        // its folder stay, and nothing else is deleted.
        EXPECT_FALSE(gone) << how;
        EXPECT_TRUE(Exists(top + "\\a.txt"));
        EXPECT_TRUE(testwin::RemoveFolderLink(scratch.Path(), top + "\\link"));
        ASSERT_TRUE(claim.Claim(top.c_str()));
        EXPECT_TRUE(claim.Delete());
    } else {
        EXPECT_TRUE(gone);
    }
    EXPECT_FALSE(Exists(top));
    EXPECT_TRUE(Exists(scratch.Join("target\\keep.txt")));
}

// Anything open in the tree, in any way and however shared, fails the
// claim: nothing is deleted and nothing stays held.
TEST(TreeClaim, AnythingOpenFailsTheClaimAndNothingGoes)
{
    const struct {
        const char* what;
        const char* path; // below the tree
        DWORD access;
        DWORD sharing;
    } cases[] = {
        {"a file read, shared in every way", "\\sub\\c.txt", GENERIC_READ,
         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
        {"an empty file written", "\\empty.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE},
        {"a folder as a program's current folder", "\\sub\\deep", FILE_TRAVERSE | SYNCHRONIZE,
         FILE_SHARE_READ | FILE_SHARE_WRITE},
        {"the top folder held as a launcher holds its work folder", "", FILE_READ_DATA,
         FILE_SHARE_READ | FILE_SHARE_WRITE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolder scratch("claim-in-use");
        const std::string top = MakeTree(scratch);
        const TreeSnapshot before(top);
        FileHandle open(OpenShared(top + c.path, c.access, c.sharing));
        ASSERT_TRUE(open.Valid());

        RCTreeClaim claim;
        EXPECT_FALSE(claim.Claim(top.c_str()));
        EXPECT_FALSE(claim.Delete());
        EXPECT_EQ(TreeSnapshot(top).ChangesSince(before), "");
        // Nothing of the failed claim is still held: the tree can be
        // claimed once the other handle is gone.
        open.Close();
        ASSERT_TRUE(claim.Claim(top.c_str()));
        EXPECT_TRUE(claim.Delete());
        EXPECT_FALSE(Exists(top));
    }
}

// A deletion refused after the claim takes back every other: a read-only
// file with a second name keeps its attribute (clearing it would change the
// file behind the other name too), so it cannot be deleted, and nothing of
// the tree is, every file with the attributes it had.
TEST(TreeClaim, ARefusedDeletionTakesBackEveryOther)
{
    TestFolder scratch("claim-refused");
    const std::string top = MakeTree(scratch);
    ASSERT_TRUE(scratch.WriteFile("elsewhere.txt", "linked"));
    ASSERT_TRUE(CreateHardLinkA((top + "\\sub\\z-linked.txt").c_str(), scratch.Join("elsewhere.txt").c_str(), nullptr));
    ASSERT_TRUE(SetFileAttributesA(scratch.Join("elsewhere.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    const TreeSnapshot before(top);

    RCTreeClaim claim;
    ASSERT_TRUE(claim.Claim(top.c_str()));
    EXPECT_FALSE(claim.Delete());
    EXPECT_EQ(TreeSnapshot(top).ChangesSince(before), "");
    EXPECT_EQ(Attributes(top + "\\a.txt") & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    SetFileAttributesA(scratch.Join("elsewhere.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// What is not a real folder is claimed and deleted as itself: a file, a
// read-only file, a link to a folder (never its target); a path with
// nothing at it cannot be claimed.
TEST(TreeClaim, AFileOrALinkIsClaimedAsItself)
{
    TestFolder scratch("claim-itself");
    ASSERT_TRUE(scratch.WriteFile("file.txt", "f"));
    ASSERT_TRUE(scratch.WriteFile("read-only.txt", "r"));
    ASSERT_TRUE(SetFileAttributesA(scratch.Join("read-only.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    for (const char* name : {"file.txt", "read-only.txt"}) {
        SCOPED_TRACE(name);
        RCTreeClaim claim;
        ASSERT_TRUE(claim.Claim(scratch.Join(name).c_str()));
        EXPECT_EQ(claim.Top().GetKind(), RCEntryHandle::kFile);
        EXPECT_TRUE(claim.Delete());
        EXPECT_FALSE(Exists(scratch.Join(name)));
    }
    RCTreeClaim missing;
    EXPECT_FALSE(missing.Claim(scratch.Join("missing").c_str()));

    ASSERT_TRUE(scratch.WriteFile("target\\keep.txt", "keep"));
    std::string how;
    if (!testwin::MakeFolderLink(scratch.Path(), scratch.Join("link"), scratch.Join("target"), &how))
        return;
    RCTreeClaim link;
    ASSERT_TRUE(link.Claim(scratch.Join("link").c_str()));
    EXPECT_EQ(link.Top().GetKind(), RCEntryHandle::kLink);
    link.Delete(); // Wine cannot remove a link made on the Linux side
    EXPECT_TRUE(Exists(scratch.Join("target\\keep.txt"))) << how;
    if (Exists(scratch.Join("link"))) {
        EXPECT_TRUE(testwin::RemoveFolderLink(scratch.Path(), scratch.Join("link")));
    }
}
