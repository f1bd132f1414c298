// The inflate stage by itself: its life, and how steps hand out output.
#include <gtest/gtest.h>

#include <string>
#include <zlib.h>

#include "payload/ArchiveFormat.h"
#include "payload/RCDecompress.h"
#include "tests/shared/TestBytes.h"

namespace {

struct StepOutput {
    bool ok;
    std::string bytes;
};

StepOutput Step(RCDecompress& stage, const std::string& input)
{
    const uint8_t* data = nullptr;
    int32_t length = -1;
    bool ok = stage.Process(reinterpret_cast<const uint8_t*>(input.data()), static_cast<int32_t>(input.size()),
                            &data, &length);
    if (!ok)
        return {false, std::string()};
    EXPECT_EQ(length, stage.OutputLength());
    return {true, std::string(reinterpret_cast<const char*>(data), static_cast<size_t>(length))};
}

TEST(InflateStage, BeginAndEnd)
{
    RCDecompress stage(ArchiveFormat::kPieceSize);
    EXPECT_EQ(stage.GrowStep(), 262144);
    EXPECT_FALSE(Step(stage, SyncFlushed({"abc"})).ok); // not begun
    EXPECT_TRUE(stage.End());                           // not begun: nothing to do
    EXPECT_TRUE(stage.Begin());
    EXPECT_FALSE(stage.Begin()); // already begun: fails, changes nothing
    EXPECT_TRUE(stage.IsBegun());
    EXPECT_EQ(Step(stage, SyncFlushed({"abc"})).bytes, "abc");
    EXPECT_TRUE(stage.End());
    EXPECT_FALSE(stage.IsBegun());
    EXPECT_TRUE(stage.Begin()); // a fresh stream: the header is expected again
    EXPECT_EQ(Step(stage, SyncFlushed({"xyz"})).bytes, "xyz");

    for (int32_t size : {0, -1}) {
        RCDecompress unusable(size);
        EXPECT_FALSE(unusable.Begin());
        EXPECT_FALSE(unusable.IsBegun());
    }
}

TEST(InflateStage, OneStepTakesAllItsInputWhateverTheWindow)
{
    const std::string data = std::string(100000, 'a') + NoiseBytes(5000, 7) + "tail";
    const std::string z = SyncFlushed({data});
    for (int32_t window : {1, 7, 4096, 8192, 65536}) {
        SCOPED_TRACE("window " + std::to_string(window));
        RCDecompress stage(window);
        ASSERT_TRUE(stage.Begin());
        StepOutput out = Step(stage, z);
        ASSERT_TRUE(out.ok);
        EXPECT_TRUE(out.bytes == data);
    }
}

TEST(InflateStage, SmallPieceThatInflatesToMegabytes)
{
    // The output buffer grows past its headroom within one step.
    const std::string data(4 << 20, '\0');
    const std::string z = SyncFlushed({data});
    const std::string more = SyncFlushed({data, "x"}).substr(z.size());
    ASSERT_LT(z.size(), static_cast<size_t>(ArchiveFormat::kPieceSize));
    RCDecompress stage(ArchiveFormat::kPieceSize);
    ASSERT_TRUE(stage.Begin());
    StepOutput out = Step(stage, z);
    ASSERT_TRUE(out.ok);
    EXPECT_TRUE(out.bytes == data);
    EXPECT_GE(stage.OutputCapacity(), 4 << 20);
    // The next step starts empty.
    EXPECT_EQ(Step(stage, more).bytes, "x");
}

TEST(InflateStage, OutputHeldAtAFullWindowComesWithTheNextStep)
{
    // Long matches: inflate stops in the middle of one when the window fills.
    const std::string data = std::string(1000, 'a') + "bcd" + std::string(500, 'e');
    const std::string z = SyncFlushed({data});
    const int32_t window = 10;
    int held = 0;
    for (size_t split = 1; split < z.size(); ++split) {
        SCOPED_TRACE("split at " + std::to_string(split));
        RCDecompress stage(window);
        ASSERT_TRUE(stage.Begin());
        StepOutput first = Step(stage, z.substr(0, split));
        ASSERT_TRUE(first.ok);
        std::string bare = BareInflate(z.substr(0, split));
        if (first.bytes.size() < bare.size()) {
            // The step ended with its input used up just as the window filled.
            ++held;
            EXPECT_GT(first.bytes.size(), 0u);
            EXPECT_EQ(first.bytes.size() % window, 0u);
        } else {
            EXPECT_EQ(first.bytes, bare);
        }
        StepOutput second = Step(stage, z.substr(split));
        ASSERT_TRUE(second.ok);
        EXPECT_TRUE(first.bytes + second.bytes == data);
    }
    EXPECT_GT(held, 0); // the case did occur
}

TEST(InflateStage, FailedStepsHandOutNothingAndStayFailed)
{
    std::string finished(compressBound(100), '\0');
    uLongf finishedLength = static_cast<uLongf>(finished.size());
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(&finished[0]), &finishedLength,
                        reinterpret_cast<const Bytef*>("hello, hello, hello"), 19, 9),
              Z_OK);
    finished.resize(finishedLength);
    // A broken length check in the empty stored block of a sync flush.
    std::string damaged = SyncFlushed({"abc", "def"});
    size_t marker = damaged.find(std::string("\x00\x00\xFF\xFF", 4));
    ASSERT_NE(marker, std::string::npos);
    damaged[marker + 2] = '\x7F';

    struct Case {
        const char* what;
        std::string input;
    };
    const Case cases[] = {
        {"finished stream", finished},
        {"wrong header check", "\x78\xDB" + SyncFlushed({"abc"}).substr(2)},
        {"not deflate", "\x79\x9C" + SyncFlushed({"abc"}).substr(2)},
        {"preset dictionary", "\x78\xBB\x00\x00\x00\x01" + SyncFlushed({"abc"}).substr(2)},
        {"damaged data", damaged},
        {"plain text", "hello world"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RCDecompress stage(ArchiveFormat::kPieceSize);
        ASSERT_TRUE(stage.Begin());
        EXPECT_FALSE(Step(stage, c.input).ok);
        EXPECT_EQ(stage.OutputLength(), 0);
        EXPECT_FALSE(Step(stage, SyncFlushed({"more"}).substr(2)).ok);
    }
}

} // namespace
