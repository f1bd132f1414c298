#include "tools/Inspector.h"

#include <cinttypes>
#include <cstdio>

#include "payload/ArchiveName.h"
#include "payload/ArchiveReader.h"
#include "payload/RCDecompress.h"
#include "payload/RCFile.h"
#include "payload/StubSettings.h"
#include "tools/HostFile.h"
#include "tools/NameCodec.h"
#include "tools/SystemError.h"

namespace {

constexpr const char* kRoot = Inspector::kArchiveRoot;

// The settings lie in the stub; a stub is far smaller than this.
constexpr size_t kHeadBytes = 16u << 20;

// Notes what the record loop asks for, and hands it on to the writer, if
// there is one.
class ListingSink : public ArchiveSink {
public:
    ListingSink(std::vector<InspectedEntry>& entries, ArchiveSink* writer) : entries_(entries), writer_(writer) {}

    void BetweenRecords() override
    {
        if (writer_ != nullptr)
            writer_->BetweenRecords();
    }
    bool CreateFolder(const char* path) override
    {
        Add(path, true);
        return writer_ == nullptr || writer_->CreateFolder(path);
    }
    void ApplyFolder(const char* path, const FileAttributeRecord& record) override
    {
        // Once as the folder is opened, and again as its "U" closes it.
        if (!entries_.empty() && entries_.back().folder && entries_.back().path == Relative(path))
            entries_.back().record = record;
        if (writer_ != nullptr)
            writer_->ApplyFolder(path, record);
    }
    bool OpenFile(const char* path) override
    {
        // A File record without a name stands for its folder, which the
        // launcher cannot make a file of: it fails there, and so does this.
        std::string relative = Relative(path);
        bool nameless = relative == kRoot;
        for (const InspectedEntry& e : entries_)
            nameless = nameless || (e.folder && e.path == relative);
        Add(path, false);
        if (nameless) {
            nameless_ = true;
            return false;
        }
        return writer_ == nullptr || writer_->OpenFile(path);
    }
    bool Nameless() const { return nameless_; }
    int32_t WriteFile(const uint8_t* data, int32_t length) override
    {
        const int32_t written = writer_ == nullptr ? length : writer_->WriteFile(data, length);
        entries_.back().size += static_cast<uint64_t>(written);
        return written;
    }
    bool CloseFile() override { return writer_ == nullptr || writer_->CloseFile(); }
    void NamesAreUtf8() override
    {
        utf8Names_ = true;
        if (writer_ != nullptr)
            writer_->NamesAreUtf8();
    }
    bool Utf8Names() const { return utf8Names_; }
    bool ApplyFile(const char* path, const FileAttributeRecord& record) override
    {
        entries_.back().record = record;
        return writer_ == nullptr || writer_->ApplyFile(path, record);
    }

private:
    static std::string Relative(const char* path)
    {
        std::string p = path;
        const std::string root = std::string(kRoot) + "\\";
        return p.compare(0, root.size(), root) == 0 ? p.substr(root.size()) : p;
    }
    void Add(const char* path, bool folder)
    {
        InspectedEntry e;
        e.path = Relative(path);
        e.folder = folder;
        entries_.push_back(e);
    }

    std::vector<InspectedEntry>& entries_;
    ArchiveSink* writer_;
    bool nameless_ = false;
    bool utf8Names_ = false;
};

std::string TimeText(uint64_t fileTime)
{
    // FILETIME to a UTC calendar time, 100 ns precision.
    const uint64_t ticksPerDay = 864000000000ull;
    uint64_t days = fileTime / ticksPerDay;
    uint64_t rest = fileTime % ticksPerDay;
    // Days since 1601-01-01 to a civil date (proleptic Gregorian).
    int64_t z = static_cast<int64_t>(days) + 584694; // counted from 0000-03-01
    int64_t era = z / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = yoe + era * 400;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t d = doy - (153 * mp + 2) / 5 + 1;
    int64_t m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
        ++y;
    uint64_t seconds = rest / 10000000ull;
    char text[48];
    std::snprintf(text, sizeof text, "%04" PRId64 "-%02" PRId64 "-%02" PRId64 " %02" PRIu64 ":%02" PRIu64 ":%02" PRIu64
                  ".%07" PRIu64,
                  y, m, d, seconds / 3600, seconds / 60 % 60, seconds % 60, static_cast<uint64_t>(rest % 10000000u));
    return text;
}

const char* ResultText(ArchiveReader::Result result)
{
    switch (result) {
    case ArchiveReader::Result::Complete:
        return "complete";
    case ArchiveReader::Result::CheckFailed:
        return "a file's content does not match its check line";
    case ArchiveReader::Result::Damaged:
        break;
    case ArchiveReader::Result::FolderFailed:
        return "a folder could not be made";
    case ArchiveReader::Result::FileCreateFailed:
        return "a file could not be made";
    case ArchiveReader::Result::FileWriteFailed:
        return "a file could not be written";
    case ArchiveReader::Result::AttributesFailed:
        return "a file's times or attributes could not be set";
    }
    return "the payload is damaged: a line, content or record is missing, out of step or invalid";
}

} // namespace

bool Inspector::FindSettings(const std::vector<uint8_t>& head, uint32_t* offset, std::string* name)
{
    const size_t area = StubSettings::kAreaSize;
    for (size_t i = 0; i + 2 * area <= head.size(); ++i) {
        if (head[i] < '0' || head[i] > '9' || (i > 0 && head[i - 1] >= '0' && head[i - 1] <= '9'))
            continue;
        uint64_t value = 0;
        size_t k = i;
        while (k < i + area && head[k] >= '0' && head[k] <= '9' && value <= 0x7FFFFFFF)
            value = value * 10 + (head[k++] - '0');
        if (k >= i + area || head[k] != 0 || value > 0x7FFFFFFF || value < i + 2 * area || value + 2 > head.size())
            continue;
        const uint8_t* n = head.data() + i + area;
        size_t length = 0;
        while (length < area && n[length] != 0)
            ++length;
        if (length == 0 || length == area)
            continue;
        std::string text(reinterpret_cast<const char*>(n), length);
        if (!IsSafeArchiveName(text.c_str()))
            continue;
        // A zlib header: method 8, the check bits right.
        uint8_t cmf = head[value], flg = head[value + 1];
        if ((cmf & 0x0F) != 8 || (cmf * 256u + flg) % 31u != 0)
            continue;
        *offset = static_cast<uint32_t>(value);
        *name = text;
        return true;
    }
    return false;
}

uint32_t Inspector::Files() const
{
    uint32_t files = 0;
    for (const InspectedEntry& e : entries_)
        files += e.folder ? 0 : 1;
    return files;
}

std::string Inspector::Fault(NameCodec& codec) const
{
    return fault_ + codec.Shown(faultName_) + faultEnd_;
}

bool Inspector::Read(const std::string& path, ArchiveSink* writer)
{
    fault_.clear();
    faultName_.clear();
    faultEnd_.clear();
    checkedFiles_ = 0;
    utf8Names_ = false;
    entries_.clear();
    HostFile file;
    if (!file.Open(path, "rb")) {
        fault_ = "cannot open " + path + ": " + SystemError::Last();
        return false;
    }
    std::vector<uint8_t> head(kHeadBytes);
    head.resize(file.Read(head.data(), head.size()));
    file.Close();
    if (!FindSettings(head, &payloadOffset_, &installerName_)) {
        fault_ = path + ": no filled-in stub settings that point at a payload";
        return false;
    }
    RCFile reader;
    if (!reader.Open(path.c_str(), RCFile::kRead) || !reader.Seek(static_cast<int32_t>(payloadOffset_))) {
        fault_ = "cannot read " + path;
        return false;
    }
    RCDecompress stage(RCDecompress::kExtractionChunk);
    reader.SetInputTransform(&stage);
    ListingSink sink(entries_, writer);
    ArchiveReader::Result result = ArchiveReader::Read(reader, kRoot, sink, &checkedFiles_);
    reader.SetInputTransform(nullptr);
    utf8Names_ = sink.Utf8Names();
    if (result != ArchiveReader::Result::Complete) {
        fault_ = sink.Nameless() ? "a File record without a name: the launcher cannot make it" : ResultText(result);
        if (sink.Nameless())
            entries_.pop_back(); // not an entry: the fault lies after the one before
        if (!entries_.empty()) {
            fault_ += std::string(" (at or after ") + (entries_.back().folder ? "folder " : "file ");
            faultName_ = entries_.back().path;
            faultEnd_ = ")";
        }
        return false;
    }
    // The installer program is a file at the top of the archive. The stub
    // names it in Shift-JIS; a name read in UTF-8 escapes what is not
    // ASCII: the launcher compares the two as Unicode, and so does this.
    NameCodec codec;
    std::string installer, entry;
    codec.FromArchive(installerName_, installer);
    for (const InspectedEntry& e : entries_) {
        if (!e.folder && (e.path == installerName_ || (codec.FromArchive(e.path, entry) && entry == installer)))
            return true;
    }
    fault_ = "the installer program \"";
    faultName_ = installerName_;
    faultEnd_ = "\" is not a file at the top of the payload";
    return false;
}

std::string Inspector::Listing(NameCodec& codec) const
{
    std::string text = "installer: " + codec.Shown(installerName_) + "\npayload offset: " +
                       std::to_string(payloadOffset_) + "\nnames: " +
                       (utf8Names_ ? "UTF-8" : "Shift-JIS (code page 932)") + "\n";
    char line[160];
    std::snprintf(line, sizeof line, "%-4s %12s %8s  %-27s  %-27s  %-27s  %s\n", "kind", "size", "attrib",
                  "created (UTC)", "last access", "last write", "path");
    text += line;
    for (const InspectedEntry& e : entries_) {
        std::snprintf(line, sizeof line, "%-4s %12" PRIu64 " %08" PRIX32 "  %s  %s  %s  ", e.folder ? "D" : "F", e.size,
                      e.record.attributes, TimeText(e.record.creationTime).c_str(),
                      TimeText(e.record.lastAccessTime).c_str(), TimeText(e.record.lastWriteTime).c_str());
        text += line + codec.Shown(e.path) + (e.folder ? "\\" : "") + "\n";
    }
    return text;
}
