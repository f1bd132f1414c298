// Damaged payloads under Wine: one valid payload cut at many points and
// with single bytes changed, each extracted in turn into the same work
// folder. Every run must end in success or with exactly one of the five
// messages, leave the work folder in place and touch nothing outside it;
// a cut payload yields nothing that the whole archive does not hold.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "launcher/Extract.h"
#include "launcher/Messages.h"
#include "payload/ArchiveFormat.h"
#include "payload/PayloadWriter.h"
#include "tests/shared/StringSink.h"
#include "tests/shared/TestArchive.h"
#include "tests/shared/TestBytes.h"
#include "tests/win/ExtractionSite.h"
#include "tests/win/RecordingUi.h"
#include "tests/win/TreeSnapshot.h"
#include "tests/win/WineHelpers.h"

using testkit::Record;

namespace {

// Text that compresses the way text files do.
std::string TextLike(size_t length, uint32_t seed)
{
    static const char* const words[] = {"setup ", "data ", "install ", "folder ", "value=", "\r\n", "0x1F "};
    std::string noise = NoiseBytes(length, seed);
    std::string text;
    for (size_t i = 0; text.size() < length; ++i)
        text += words[static_cast<uint8_t>(noise[i % noise.size()]) % 7];
    text.resize(length);
    return text;
}

// A small installer over several raw pieces: compressible and stored
// content, nested and hidden folders, read-only and empty files. The bytes
// that hold tags, names, sizes and records (not content) are noted.
struct ValidPayload {
    std::string bytes;
    size_t beforeClosingUp = 0;       // no cut up to here can be complete
    std::vector<size_t> structure;    // offsets of the bytes of records
    std::vector<std::pair<size_t, size_t>> contents; // where each file's content lies

    ValidPayload()
    {
        StringSink sink;
        PayloadWriter w(sink);
        // Notes the bytes that one call adds as structure.
        auto mark = [&](bool written) {
            EXPECT_TRUE(written);
            for (size_t at = marked_; at < sink.bytes.size(); ++at)
                structure.push_back(at);
            marked_ = sink.bytes.size();
        };
        auto file = [&](const char* name, const std::string& content, const FileAttributeRecord& record) {
            mark(w.FileBegin(name, static_cast<int64_t>(content.size())));
            EXPECT_TRUE(w.FileContent(content.data(), content.size()));
            if (!content.empty())
                contents.push_back({marked_, sink.bytes.size()});
            marked_ = sink.bytes.size();
            mark(w.FileEnd(record));
        };
        file("setup.bmp", "BM\x01\x02\x03", Record(0x20, 0));
        mark(w.Folder("data", Record(0x10, 1)));
        file("a.ini", "", Record(0x21, 2));
        file("\x95\x5C.txt", TextLike(20000, 1), Record(0x20, 3));
        file("noise.bin", NoiseBytes(12000, 2), Record(0x20, 4));
        mark(w.Folder("sub", Record(0x12, 5)));
        file("deep.txt", TextLike(300, 4), Record(0x20, 6));
        mark(w.Up());
        mark(w.Up());
        file("readme.txt", TextLike(200, 5), Record(0x21, 7));
        file("lvxrun.exe", NoiseBytes(3000, 3), Record(0x20, 8));
        beforeClosingUp = sink.bytes.size();
        mark(w.Up());
        bytes = sink.bytes;
    }

private:
    size_t marked_ = 0;
};

bool IsOneOfTheMessages(const std::string& text)
{
    for (const char* known : {Messages::kFolderFailed, Messages::kDamaged, Messages::kFileCreateFailed,
                              Messages::kFileWriteFailed, Messages::kAttributesFailed}) {
        if (text == known)
            return true;
    }
    return false;
}

// Runs extractions of damaged copies and tallies how they ended.
class DamageRun {
public:
    DamageRun() : stub_("MZ" + NoiseBytes(2500, 11))
    {
        combined_ = site_.Scratch() + "\\case.bin";
        outside_ = site_.Outside({combined_});
    }

    const std::string& WorkFolder() const { return site_.WorkFolder(); }

    // Extracts the payload behind the stub and checks what every run must
    // hold. Returns whether extraction succeeded.
    bool Run(const std::string& payload)
    {
        EXPECT_FALSE(site_.Write("case.bin", stub_ + payload).empty());
        RecordingUi ui;
        bool ok = ExtractPayload(ui, combined_.c_str(), static_cast<int32_t>(stub_.size()), WorkFolder().c_str());
        if (ok) {
            EXPECT_TRUE(ui.shown.empty());
            ++tally_["complete"];
        } else if (ui.shown.size() != 1) {
            ADD_FAILURE() << ui.shown.size() << " messages shown";
        } else {
            EXPECT_TRUE(IsOneOfTheMessages(ui.shown[0].text));
            EXPECT_EQ(ui.shown[0].caption, Messages::kErrorCaption);
            EXPECT_EQ(ui.shown[0].style, 16u);
            ++tally_[ui.shown[0].text];
        }
        DWORD attributes = GetFileAttributesA(WorkFolder().c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            << "the work folder stays";
        EXPECT_EQ(site_.Outside({combined_}).ChangesSince(outside_), "") << "outside the work folder";
        return ok;
    }

    void ClearTally() { tally_.clear(); }

    // How the runs ended, for the log.
    std::string Tally() const
    {
        const std::pair<const char*, const char*> names[] = {
            {"complete", "complete"},
            {Messages::kDamaged, "damaged"},
            {Messages::kFolderFailed, "folder cannot be created"},
            {Messages::kFileCreateFailed, "file cannot be created"},
            {Messages::kFileWriteFailed, "cannot write"},
            {Messages::kAttributesFailed, "attributes cannot be set"},
        };
        std::string text;
        for (const auto& name : names) {
            auto it = tally_.find(name.first);
            if (it != tally_.end())
                text += std::string(text.empty() ? "" : ", ") + std::to_string(it->second) + " " + name.second;
        }
        return text;
    }

private:
    ExtractionSite site_{"extract-damage"};
    std::string stub_;
    std::string combined_;
    TreeSnapshot outside_;
    std::map<std::string, int> tally_;
};

TEST(ExtractDamage, CutPayloads)
{
    ValidPayload valid;
    ASSERT_GT(valid.bytes.size(), 2u * ArchiveFormat::kPieceSize) << "the payload spans several raw pieces";
    DamageRun run;
    ASSERT_TRUE(run.Run(valid.bytes));
    const TreeSnapshot whole(run.WorkFolder());
    run.ClearTally();

    std::vector<size_t> cuts;
    const size_t kCuts = 160;
    for (size_t i = 0; i < kCuts; ++i)
        cuts.push_back(i * valid.bytes.size() / kCuts);
    for (size_t back = 1; back <= 6; ++back)
        cuts.push_back(valid.bytes.size() - back);
    for (size_t cut : cuts) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        bool ok = run.Run(valid.bytes.substr(0, cut));
        if (cut <= valid.beforeClosingUp) {
            EXPECT_FALSE(ok);
        }
        // Only entries of the archive, each file a beginning of its content.
        const TreeSnapshot tree(run.WorkFolder());
        for (const auto& entry : tree.Entries()) {
            const TreeEntry* full = whole.Find(entry.first);
            ASSERT_NE(full, nullptr) << entry.first;
            EXPECT_EQ(entry.second.folder, full->folder) << entry.first;
            EXPECT_EQ(full->content.compare(0, entry.second.content.size(), entry.second.content), 0) << entry.first;
        }
    }
    std::printf("%zu cut payloads: %s\n", cuts.size(), run.Tally().c_str());
}

TEST(ExtractDamage, ChangedBytes)
{
    ValidPayload valid;
    ASSERT_FALSE(valid.structure.empty());
    DamageRun run;
    ASSERT_TRUE(run.Run(valid.bytes));
    const TreeSnapshot whole(run.WorkFolder());
    run.ClearTally();
    const uint8_t masks[] = {0x01, 0x80, 0xFF, 0x10, 0x20, 0x04};
    // Anywhere in the payload (most land in content, which inflates to
    // other content and fails its check line), then in the bytes of the
    // records themselves; the zlib header first.
    const size_t kAnywhere = 200;
    const size_t kInRecords = 200;
    for (size_t i = 0; i < kAnywhere + kInRecords; ++i) {
        size_t at = i < 2 ? i
                    : i < kAnywhere ? (i * 7919) % valid.bytes.size()
                                    : valid.structure[((i - kAnywhere) * 104729) % valid.structure.size()];
        uint8_t mask = masks[i % sizeof masks];
        SCOPED_TRACE("byte " + std::to_string(at) + " xor " + std::to_string(mask));
        std::string payload = valid.bytes;
        payload[at] = static_cast<char>(payload[at] ^ mask);
        if (run.Run(payload)) {
            // A change that gets through leaves every file's content whole
            // (it hit a name, a time or a bit that inflate ignores).
            const TreeSnapshot tree(run.WorkFolder());
            for (const auto& entry : tree.Entries()) {
                const TreeEntry* original = whole.Find(entry.first);
                if (original != nullptr && !original->folder) {
                    EXPECT_EQ(entry.second.content, original->content) << entry.first;
                }
            }
        }
        if (i + 1 == kAnywhere) {
            std::printf("%zu payloads with a byte changed anywhere: %s\n", kAnywhere, run.Tally().c_str());
            run.ClearTally();
        }
    }
    std::printf("%zu payloads with a byte of a record changed: %s\n", kInRecords, run.Tally().c_str());
}

// A bit flipped inside any file's content, stored or compressed, never
// ends in success: the installer program would be handed a changed file.
TEST(ExtractDamage, FlippedBitsInContent)
{
    ValidPayload valid;
    ASSERT_GE(valid.contents.size(), 5u);
    DamageRun run;
    size_t runs = 0;
    for (const auto& range : valid.contents) {
        // Not into the flush at the end, whose padding bits inflate ignores.
        const size_t span = range.second - range.first - 8;
        if (range.second - range.first < 40)
            continue;
        for (int k = 1; k <= 3; ++k, ++runs) {
            size_t at = range.first + span * static_cast<size_t>(k) / 4;
            SCOPED_TRACE("byte " + std::to_string(at));
            std::string payload = valid.bytes;
            payload[at] = static_cast<char>(payload[at] ^ 0x08);
            EXPECT_FALSE(run.Run(payload));
        }
    }
    std::printf("%zu payloads with a bit of content flipped: %s\n", runs, run.Tally().c_str());
}

} // namespace
