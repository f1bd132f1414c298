#include "payload/PayloadWriter.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <zlib.h>

#include "payload/ArchiveFormat.h"

struct PayloadWriter::Deflater {
    z_stream stream{};
    bool ready = false;
    uint8_t out[16384];

    Deflater()
    {
        // Level 9 gives the header 0x78 0xDA.
        ready = deflateInit(&stream, Z_BEST_COMPRESSION) == Z_OK;
    }
    ~Deflater()
    {
        if (ready)
            deflateEnd(&stream);
    }
};

PayloadWriter::PayloadWriter(Sink& sink) : sink_(sink), deflater_(new Deflater)
{
    failed_ = !deflater_->ready;
}

PayloadWriter::~PayloadWriter() = default;

bool PayloadWriter::Piece(const void* data, size_t length)
{
    if (failed_)
        return false;
    // zlib counts input in 32 bits; nothing here comes near that.
    if (length > 0xFFFFFFFFu || (data == nullptr && length > 0))
        return Refuse();
    z_stream& zs = deflater_->stream;
    zs.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    zs.avail_in = static_cast<uInt>(length);
    do {
        zs.next_out = deflater_->out;
        zs.avail_out = sizeof deflater_->out;
        int rc = deflate(&zs, Z_SYNC_FLUSH);
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            failed_ = true;
            return false;
        }
        size_t produced = sizeof deflater_->out - zs.avail_out;
        if (produced > 0 && !sink_.Put(deflater_->out, produced)) {
            failed_ = true;
            return false;
        }
        payloadBytes_ += produced;
    } while (zs.avail_out == 0 || zs.avail_in != 0);
    archiveBytes_ += length;
    return true;
}

bool PayloadWriter::Refuse()
{
    failed_ = true;
    return false;
}

bool PayloadWriter::LineText(const char* text)
{
    return text == nullptr || Piece(text, std::strlen(text));
}

bool PayloadWriter::Crlf()
{
    return Piece("\r\n", 2);
}

bool PayloadWriter::Line(const char* text)
{
    return LineText(text) && Crlf();
}

// A name line. The reader ends a line at CR or LF, so a name holding either
// would shift every record after it; an empty name is a line of its own.
bool PayloadWriter::NameLine(const char* name)
{
    if (name != nullptr && std::strpbrk(name, "\r\n") != nullptr)
        return Refuse();
    return Line(name);
}

bool PayloadWriter::Folder(const char* name, const FileAttributeRecord& record)
{
    if (failed_ || fileRemaining_ >= 0)
        return Refuse();
    uint8_t bytes[FileAttributeRecord::kSize];
    record.Encode(bytes);
    return Line(ArchiveFormat::kFolderTag) && NameLine(name) && Piece(bytes, sizeof bytes);
}

bool PayloadWriter::Up()
{
    if (failed_ || fileRemaining_ >= 0)
        return Refuse();
    return Line(ArchiveFormat::kUpTag);
}

bool PayloadWriter::FileBegin(const char* name, int64_t size)
{
    if (failed_ || fileRemaining_ >= 0)
        return Refuse();
    char sizeText[32];
    std::snprintf(sizeText, sizeof sizeText, "%" PRId64, size);
    if (!(Line(ArchiveFormat::kFileTag) && NameLine(name) && Line(sizeText)))
        return false;
    fileRemaining_ = size > 0 ? size : 0;
    return true;
}

bool PayloadWriter::FileContent(const void* content, size_t length)
{
    if (failed_ || fileRemaining_ < 0 || length > static_cast<uint64_t>(fileRemaining_))
        return Refuse(); // outside a File record, or more than its size
    if (content == nullptr && length > 0)
        return Refuse();
    fileRemaining_ -= static_cast<int64_t>(length);
    const uint8_t* p = static_cast<const uint8_t*>(content);
    while (length > 0) {
        size_t piece = length < static_cast<size_t>(ArchiveFormat::kPieceSize) ? length : ArchiveFormat::kPieceSize;
        if (!Piece(p, piece))
            return false;
        p += piece;
        length -= piece;
    }
    return !failed_;
}

bool PayloadWriter::FileEnd(const FileAttributeRecord& record)
{
    if (failed_ || fileRemaining_ != 0)
        return Refuse(); // outside a File record, or content still owed
    fileRemaining_ = -1;
    uint8_t bytes[FileAttributeRecord::kSize];
    record.Encode(bytes);
    return Piece(bytes, sizeof bytes);
}

bool PayloadWriter::File(const char* name, const void* content, int64_t size, const FileAttributeRecord& record)
{
    return FileBegin(name, size) && FileContent(content, size > 0 ? static_cast<size_t>(size) : 0) && FileEnd(record);
}
