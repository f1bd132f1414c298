// Running out of memory: the test variant of the stub, whose allocator can
// be told to fail, under the window watcher.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/ExitStatus.h"
#include "tests/win/WatchedRun.h"

namespace {

const std::string kExtractLine = std::string("extract ") + kTestVariantName;
const std::string kOutOfMemoryStatus = std::to_string(ExitStatus::kOutOfMemory);

// Running out of memory during the work: the standard exception display,
// owned by the application with its title as caption, then the end with
// its own status, the window not left behind.
TEST(OutOfMemory, DuringTheWorkShowsTheStandardDisplayAndEnds)
{
    WatchedRun run = Watch(TestVariant(), "watch", {{"QM_FAKE_FLOW", "oom"}});
    EXPECT_EQ(run["box1.text"], "Out of memory.");
    EXPECT_EQ(run["box1.caption"], kTestVariantName);
    EXPECT_EQ(run["box1.owner"], "QuillimarkApplication");
    EXPECT_EQ(run["box1.icon"], "error");
    EXPECT_EQ(run["box2.text"], "");
    EXPECT_EQ(run.calls, std::vector<std::string>{kExtractLine});
    EXPECT_EQ(run["timeout"], "");
    EXPECT_EQ(run["exit"], kOutOfMemoryStatus);
}

// Whichever allocation fails, from the first one on: one display, then the
// end with its own status; never a hang, never the work after the failure. Past
// the last allocation of a run nothing fails and the run is a plain one.
TEST(OutOfMemory, AtEveryAllocationOfARun)
{
    int failing = 0;
    for (int n = 1; n <= 200; n = n < 8 ? n + 1 : n * 3 / 2) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        WatchedRun run = Watch(TestVariant(), "watch", {{"QM_FAKE_FLOW", "succeed"}, {"QM_FAIL_ALLOCATION", std::to_string(n)}});
        EXPECT_EQ(run["timeout"], "");
        if (run["box1.text"].empty()) {
            // Nothing failed: the whole flow ran (its doubles set no status).
            EXPECT_EQ(run["exit"], "0");
            EXPECT_EQ(run.calls, (std::vector<std::string>{kExtractLine, "launch hidden"}));
            break;
        }
        ++failing;
        EXPECT_EQ(run["exit"], kOutOfMemoryStatus);
        EXPECT_EQ(run["box1.text"], "Out of memory.");
        EXPECT_EQ(run["box1.caption"], run["box1.title"]);
        EXPECT_EQ(run["box2.text"], "");
        EXPECT_TRUE(run.calls.empty()) << "the work went on after the failure";
    }
    // The first allocation at least is one of ours.
    EXPECT_GE(failing, 1);
}

} // namespace
