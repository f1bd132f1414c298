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

// An empty name adds no component: the record then names the current
// folder itself, which a file cannot be created on. Any other name must be
// one plain component that Windows keeps as it stands.
bool AcceptableName(const RCAnsiStr& name)
{
    return name.Length() == 0 || IsSafeArchiveName(name.Text());
}

// The second line of defence: every entry lies inside the work folder.
bool InsideWorkFolder(const RCPath& path, const RCAnsiStr& root)
{
    RCAnsiStr text(path.Text());
    if (text.Equals(root.Text()))
        return true;
    return text.FindText(root.Text(), 0) == 0 && text.ByteAt(root.Length()) == '\\';
}

} // namespace

ArchiveReader::Result ArchiveReader::Read(RCStream& stream, const char* workFolder, ArchiveSink& sink)
{
    RCPath path(workFolder);
    const RCAnsiStr root(path.Text());
    const int32_t baseDepth = path.Count();
    std::unique_ptr<uint8_t[]> chunk(new uint8_t[ArchiveFormat::kPieceSize]);
    RCAnsiStr tag;
    RCAnsiStr name;
    RCAnsiStr size;
    FileAttributeRecord record;
    RCList<FileAttributeRecord> openFolders; // the records of the open "D"s
    std::unique_ptr<Crc32> crc(new Crc32);
    bool fileJustRead = false; // the record before this line was a File
    bool firstLine = true;
    bool everyFileChecked = false; // announced by the first line

    for (;;) {
        sink.BetweenRecords();
        if (!ReadArchiveLine(stream, tag))
            return Result::Damaged;
        const bool afterFile = fileJustRead;
        const bool first = firstLine;
        fileJustRead = false;
        firstLine = false;

        if (tag.ByteAt(0) == ArchiveFormat::kCheckTag) {
            if (first && tag.Length() == 1) {
                everyFileChecked = true;
                continue;
            }
            // Belongs to the File record just read, and to no other place.
            uint32_t expected = 0;
            if (!afterFile || !ParseCheck(tag, &expected))
                return Result::Damaged;
            if (expected != crc->Value())
                return Result::CheckFailed;
            continue;
        }
        // Without its check line, the file's content may have been longer or
        // shorter than its size line says, and this line part of it.
        if (afterFile && everyFileChecked)
            return Result::Damaged;

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
            return Result::Complete;
        }

        if (tag.Equals(ArchiveFormat::kFolderTag)) {
            if (!ReadArchiveLine(stream, name) || !ReadRecord(stream, &record))
                return Result::Damaged;
            if (!AcceptableName(name))
                return Result::Damaged;
            path.AppendComponent(name.Text());
            if (!InsideWorkFolder(path, root))
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
            if (!ParseSize(size, &remaining) || !AcceptableName(name))
                return Result::Damaged;
            path.AppendComponent(name.Text());
            if (!InsideWorkFolder(path, root))
                return Result::Damaged;
            if (!sink.OpenFile(path.Text()))
                return Result::FileCreateFailed;
            crc->Reset();
            // A size of 0 makes one pass with an empty chunk.
            do {
                int32_t length = remaining < ArchiveFormat::kPieceSize ? remaining : ArchiveFormat::kPieceSize;
                // On these two ways out the file is incomplete anyway: the
                // result of closing it adds nothing.
                if (stream.Read(chunk.get(), length) != length) {
                    sink.CloseFile();
                    return Result::Damaged;
                }
                crc->Update(chunk.get(), static_cast<size_t>(length));
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
                uint32_t expected = 0;
                if (everyFileChecked && (!ReadArchiveLine(stream, tag) || tag.ByteAt(0) != ArchiveFormat::kCheckTag ||
                                         !ParseCheck(tag, &expected) || expected != crc->Value()))
                    return Result::Damaged;
                return Result::AttributesFailed;
            }
            path.RemoveLast();
            fileJustRead = true;
            continue;
        }

        // Any other line where a tag is expected is skipped.
    }
}
