#include "tests/shared/ArchiveWalker.h"

#include <memory>

#include "payload/ArchiveFormat.h"
#include "support/FileAttributeRecord.h"

ArchiveWalker::ArchiveWalker(RCStream& reader) : reader_(reader)
{
}

ArchiveWalker::Result ArchiveWalker::Walk(Visitor* visitor)
{
    files_ = folders_ = contentBytes_ = 0;
    Visitor none;
    Visitor& v = visitor != nullptr ? *visitor : none;
    RCAnsiStr tag;
    RCAnsiStr name;
    RCAnsiStr size;
    std::unique_ptr<uint8_t[]> chunk(new uint8_t[ArchiveFormat::kPieceSize]);
    uint8_t record[FileAttributeRecord::kSize];
    uint64_t depth = 0;
    for (;;) {
        if (!reader_.ReadLine(tag, ArchiveFormat::kMaxLineLength))
            return kDamaged;
        if (tag.Equals(ArchiveFormat::kUpTag)) {
            if (depth == 0)
                return kComplete;
            --depth;
            v.Up();
        } else if (tag.Equals(ArchiveFormat::kFolderTag)) {
            if (!reader_.ReadLine(name, ArchiveFormat::kMaxLineLength) ||
                reader_.Read(record, FileAttributeRecord::kSize) != FileAttributeRecord::kSize)
                return kDamaged;
            ++depth;
            ++folders_;
            v.Folder(name, record);
        } else if (tag.Equals(ArchiveFormat::kFileTag)) {
            if (!reader_.ReadLine(name, ArchiveFormat::kMaxLineLength) ||
                !reader_.ReadLine(size, ArchiveFormat::kMaxLineLength))
                return kDamaged;
            int32_t left = size.ToInt();
            if (left < 0)
                return kDamaged;
            v.FileBegin(name, left);
            // A size of 0 makes one pass with an empty piece, as extraction does.
            do {
                int32_t piece = left < ArchiveFormat::kPieceSize ? left : ArchiveFormat::kPieceSize;
                if (reader_.Read(chunk.get(), piece) != piece)
                    return kDamaged;
                v.FileContent(chunk.get(), piece);
                contentBytes_ += static_cast<uint64_t>(piece);
                left -= piece;
            } while (left > 0);
            if (reader_.Read(record, FileAttributeRecord::kSize) != FileAttributeRecord::kSize)
                return kDamaged;
            ++files_;
            v.FileEnd(record);
        }
        // Any other tag: the line is skipped.
    }
}
