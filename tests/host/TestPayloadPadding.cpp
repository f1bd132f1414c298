#include <gtest/gtest.h>

#include <set>
#include <string>

#include "payload/PayloadWriter.h"
#include "tests/host/ArchiveDump.h"
#include "tests/shared/StringSink.h"
#include "tests/shared/TestArchive.h"
#include "tests/shared/TestBytes.h"

using testkit::Record;

namespace {

// Incompressible content of growing size moves the end of the archive
// across a piece boundary, so every gap from 0 to a few dozen bytes occurs,
// the ones that need a piece more (1-4 and 8) included. Each padded payload
// must end on a piece boundary, read back with every inflate step Z_OK,
// add no output, and finish within the pieces the launcher reads.
TEST(PayloadPadding, EndsOnAPieceBoundaryAndInflatesToNothing)
{
    std::set<uint64_t> gaps;
    for (size_t n = 8000; n < 8110; ++n) {
        StringSink sink;
        PayloadWriter writer(sink);
        std::string content = NoiseBytes(n, static_cast<uint32_t>(n));
        ASSERT_TRUE(writer.File("a.bin", content.data(), static_cast<int64_t>(n), Record(0x20)));
        ASSERT_TRUE(writer.Up());
        uint64_t before = writer.PayloadBytes();
        gaps.insert((8192 - before % 8192) % 8192);
        ASSERT_TRUE(writer.PadToPiece(8192));
        ASSERT_EQ(writer.PayloadBytes() % 8192, 0u) << n;
        ASSERT_EQ(sink.bytes.size(), writer.PayloadBytes());
        ASSERT_GE(writer.PayloadBytes(), before);
        EXPECT_LT(writer.PayloadBytes() - before, 2u * 8192);

        ArchiveDump dump = ArchiveDump::Read(sink.bytes);
        ASSERT_TRUE(dump.ok) << n << ": " << dump.error;
        ASSERT_EQ(dump.entries.size(), 1u);
        EXPECT_EQ(dump.entries[0].content, content);
        EXPECT_EQ(dump.trailingOutput, 0u);
        // The closing "U" lies in the last piece, or the one before when a
        // whole piece of padding was needed; either way the reader stops
        // within the payload.
        EXPECT_LE(static_cast<uint64_t>(dump.piecesRead), writer.PayloadBytes() / 8192);
    }
    for (uint64_t gap = 0; gap <= 20; ++gap)
        EXPECT_TRUE(gaps.count(gap)) << "gap " << gap << " never came up";
}

// The padding leaves the stream open: records written after it still read.
TEST(PayloadPadding, StreamGoesOnAfterPadding)
{
    StringSink sink;
    PayloadWriter writer(sink);
    ASSERT_TRUE(writer.File("a.txt", "abc", 3, Record(0x20)));
    ASSERT_TRUE(writer.PadToPiece(8192));
    ASSERT_TRUE(writer.File("b.txt", "defg", 4, Record(0x21)));
    ASSERT_TRUE(writer.Up());
    ArchiveDump dump = ArchiveDump::Read(sink.bytes);
    ASSERT_TRUE(dump.ok) << dump.error;
    ASSERT_EQ(dump.entries.size(), 2u);
    EXPECT_EQ(dump.entries[1].path, "b.txt");
    EXPECT_EQ(dump.entries[1].content, "defg");
    EXPECT_EQ(dump.entries[1].record.attributes, 0x21u);
}

TEST(PayloadPadding, NothingToDoOnABoundaryOrForTinyPieces)
{
    StringSink sink;
    PayloadWriter writer(sink);
    EXPECT_TRUE(writer.PadToPiece(8192)); // nothing written yet: already on a boundary
    EXPECT_EQ(writer.PayloadBytes(), 0u);
    ASSERT_TRUE(writer.Up());
    EXPECT_FALSE(writer.PadToPiece(8)); // too small for the block groups
}

} // namespace
