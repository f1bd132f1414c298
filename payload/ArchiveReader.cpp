#include "payload/ArchiveReader.h"

#include <memory>

#include "payload/ArchiveFormat.h"
#include "payload/ArchiveName.h"
#include "payload/Crc32.h"
#include "payload/RCStream.h"
#include "support/RCAnsiStr.h"
#include "support/RCList.h"
#include "support/RCPath.h"

namespace {

using Result = ArchiveReader::Result;

// A line of the archive: a tag, a name or a size. A line that is missing or
// longer than the bound counts as damage.
bool ReadArchiveLine(RCStream& stream, RCAnsiStr& line)
{
    return stream.ReadLine(line, ArchiveFormat::kMaxLineLength);
}

bool ReadRecord(RCStream& stream, FileAttributeRecord* record)
{
    uint8_t bytes[FileAttributeRecord::kSize];
    if (stream.Read(bytes, FileAttributeRecord::kSize) != FileAttributeRecord::kSize)
        return false;
    *record = FileAttributeRecord::Decode(bytes);
    return true;
}

// A size line: plain decimal digits (leading zeros allowed), at most
// kMaxFileSize. Anything else, a sign, blanks or a value that would not fit,
// means the records are out of step with the content.
bool ParseSize(const RCAnsiStr& line, int32_t* size)
{
    const int32_t length = line.Length();
    if (length == 0)
        return false;
    int64_t value = 0;
    for (int32_t i = 0; i < length; ++i) {
        int32_t c = line.ByteAt(i);
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
        if (value > ArchiveFormat::kMaxFileSize)
            return false;
    }
    *size = static_cast<int32_t>(value);
    return true;
}

int32_t HexDigit(int32_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A check line: the tag letter and exactly 8 hexadecimal digits.
bool ParseCheck(const RCAnsiStr& line, uint32_t* crc)
{
    if (line.Length() != 1 + ArchiveFormat::kCheckDigits)
        return false;
    uint32_t value = 0;
    for (int32_t i = 1; i <= ArchiveFormat::kCheckDigits; ++i) {
        int32_t digit = HexDigit(line.ByteAt(i));
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    *crc = value;
    return true;
}

// The check lines: the CRC-32 of each file's content, taken as it is
// copied, against the line that follows the file's record.
class ContentCheck {
public:
    void BeginFile() { crc_->Reset(); }
    void Content(const uint8_t* data, int32_t length) { crc_->Update(data, static_cast<size_t>(length)); }
    void EndFile() { fileJustRead_ = true; }

    // Sees every tag line before the record loop does. True when the line
    // is the check lines' business: the announcement, a check line, or a
    // line where a check line is owed; *result is then Complete to go on,
    // or the failure.
    bool Take(const RCAnsiStr& tag, Result* result)
    {
        const bool afterFile = fileJustRead_;
        const bool first = firstLine_;
        fileJustRead_ = false;
        firstLine_ = false;
        *result = Result::Complete;
        if (tag.ByteAt(0) != ArchiveFormat::kCheckTag) {
            // Without its check line, the file's content may have been
            // longer or shorter than its size line says, and this line part
            // of it.
            if (!(afterFile && announced_))
                return false;
            *result = Result::Damaged;
            return true;
        }
        if (first && tag.Length() == 1) {
            announced_ = true;
            return true;
        }
        // Belongs to the File record just read, and to no other place.
        uint32_t expected = 0;
        if (!afterFile || !ParseCheck(tag, &expected))
            *result = Result::Damaged;
        else if (expected != crc_->Value())
            *result = Result::CheckFailed;
        else
            ++checkedFiles_;
        return true;
    }

    // How many files so far matched the check line that followed them.
    uint32_t CheckedFiles() const { return checkedFiles_; }

    // Whether the file just copied is known to be whole: in an archive
    // where every file is checked, the next line must be its matching
    // check line (read here).
    bool Confirms(RCStream& stream, RCAnsiStr& line) const
    {
        uint32_t expected = 0;
        return !announced_ || (ReadArchiveLine(stream, line) && line.ByteAt(0) == ArchiveFormat::kCheckTag &&
                               ParseCheck(line, &expected) && expected == crc_->Value());
    }

private:
    std::unique_ptr<Crc32> crc_{new Crc32};
    bool fileJustRead_ = false;
    bool firstLine_ = true;
    bool announced_ = false; // by the first line: every file is checked
    uint32_t checkedFiles_ = 0;
};

// The second line of defence: every entry lies inside the work folder.
bool InsideWorkFolder(const RCPath& path, const RCAnsiStr& root)
{
    RCAnsiStr text(path.Text());
    if (text.Equals(root.Text()))
        return true;
    return text.FindText(root.Text(), 0) == 0 && text.ByteAt(root.Length()) == '\\';
}

// The names of Folder and File records: Shift-JIS, or UTF-8 from the names
// line on, which only the archive's first lines may hold.
class Names {
public:
    // The names line; false when a name was read before it (as Shift-JIS).
    bool TakeUtf8()
    {
        utf8_ = true;
        return !named_;
    }

    // Makes the named entry of a Folder or File record the current path.
    // An empty name adds no component: the record then names the current
    // folder itself, which a file cannot be created on. Any other name must
    // be one plain component that Windows keeps as it stands. False
    // (damage) for a name that is not acceptable or that leads out of the
    // work folder; the path is then of no further use.
    bool Enter(RCPath& path, const RCAnsiStr& name, const RCAnsiStr& root, ArchiveSink& sink)
    {
        named_ = true;
        RCAnsiStr decoded; // a UTF-8 name as the path takes it
        const char* component = name.Text();
        if (name.Length() != 0 && utf8_) {
            if (!DecodeUtf8ArchiveName(component, decoded))
                return false;
            component = decoded.Text();
        } else if (name.Length() != 0 && (!IsSafeArchiveName(component) || !sink.TakesName(component))) {
            return false;
        }
        path.AppendComponent(component);
        return InsideWorkFolder(path, root);
    }

private:
    bool utf8_ = false;
    bool named_ = false;
};

} // namespace

ArchiveReader::Result ArchiveReader::Read(RCStream& stream, const char* workFolder, ArchiveSink& sink,
                                          uint32_t* checkedFiles)
{
    RCPath path(workFolder);
    const RCAnsiStr root(path.Text());
    const int32_t baseDepth = path.Count();
    std::unique_ptr<uint8_t[]> chunk(new uint8_t[kContentBlock]);
    RCAnsiStr tag;
    RCAnsiStr name;
    RCAnsiStr size;
    FileAttributeRecord record;
    RCList<FileAttributeRecord> openFolders; // the records of the open "D"s
    ContentCheck checks;
    Names names;

    for (;;) {
        sink.BetweenRecords();
        if (!ReadArchiveLine(stream, tag))
            return Result::Damaged;
        Result checked = Result::Complete;
        if (checks.Take(tag, &checked)) {
            if (checked != Result::Complete)
                return checked;
            continue;
        }

        if (tag.Equals(ArchiveFormat::kUtf8NamesLine)) {
            if (!names.TakeUtf8())
                return Result::Damaged;
            sink.NamesAreUtf8();
            continue;
        }

        if (tag.Equals(ArchiveFormat::kUpTag)) {
            // Closes the innermost folder; below the work folder's own
            // depth, the archive is complete. A folder's times changed as
            // its entries were made in it: its record is applied again, so
            // that it ends with the times the archive gives it.
            int32_t innermost = openFolders.Count() - 1;
            if (innermost >= 0) {
                sink.ApplyFolder(path.Text(), *openFolders.Item(innermost));
                openFolders.RemoveAt(innermost);
            }
            path.RemoveLast();
            if (path.Count() >= baseDepth)
                continue;
            if (checkedFiles != nullptr)
                *checkedFiles = checks.CheckedFiles();
            return Result::Complete;
        }

        if (tag.Equals(ArchiveFormat::kFolderTag)) {
            if (!ReadArchiveLine(stream, name) || !ReadRecord(stream, &record) || !names.Enter(path, name, root, sink))
                return Result::Damaged;
            if (!sink.CreateFolder(path.Text()))
                return Result::FolderFailed;
            sink.ApplyFolder(path.Text(), record);
            openFolders.Add(new FileAttributeRecord(record));
            continue; // the folder stays open until its "U"
        }

        if (tag.Equals(ArchiveFormat::kFileTag)) {
            if (!ReadArchiveLine(stream, name) || !ReadArchiveLine(stream, size))
                return Result::Damaged;
            int32_t remaining = 0;
            if (!ParseSize(size, &remaining) || !names.Enter(path, name, root, sink))
                return Result::Damaged;
            if (!sink.OpenFile(path.Text()))
                return Result::FileCreateFailed;
            checks.BeginFile();
            // A size of 0 makes one pass with an empty chunk.
            do {
                int32_t length = remaining < kContentBlock ? remaining : kContentBlock;
                // On these two ways out the file is incomplete anyway: the
                // result of closing it adds nothing.
                if (stream.Read(chunk.get(), length) != length) {
                    sink.CloseFile();
                    return Result::Damaged;
                }
                checks.Content(chunk.get(), length);
                if (sink.WriteFile(chunk.get(), length) != length) {
                    sink.CloseFile();
                    return Result::FileWriteFailed;
                }
                remaining -= length;
            } while (remaining > 0);
            // Buffered bytes reach the disk only now: a failed close is a
            // failed write, never a file that is silently cut short.
            if (!sink.CloseFile())
                return Result::FileWriteFailed;
            if (!ReadRecord(stream, &record))
                return Result::Damaged;
            if (!sink.ApplyFile(path.Text(), record)) {
                // Times that Windows refuses are often the first sign of
                // content that came out longer or shorter than it should:
                // where every file is checked, the check line says which.
                return checks.Confirms(stream, tag) ? Result::AttributesFailed : Result::Damaged;
            }
            if (!sink.ReleaseFile())
                return Result::FileWriteFailed;
            path.RemoveLast();
            checks.EndFile();
            continue;
        }

        // Any other line where a tag is expected is skipped.
    }
}
