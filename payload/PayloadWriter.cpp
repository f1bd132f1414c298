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

bool PayloadWriter::LineText(const char* text)
{
    return Piece(text, std::strlen(text));
}

bool PayloadWriter::Crlf()
{
    return Piece("\r\n", 2);
}

bool PayloadWriter::Line(const char* text)
{
    return LineText(text) && Crlf();
}

bool PayloadWriter::Folder(const char* name, const FileAttributeRecord& record)
{
    uint8_t bytes[FileAttributeRecord::kSize];
    record.Encode(bytes);
    return Line(ArchiveFormat::kFolderTag) && Line(name) && Piece(bytes, sizeof bytes);
}

bool PayloadWriter::Up()
{
    return Line(ArchiveFormat::kUpTag);
}

bool PayloadWriter::FileBegin(const char* name, int64_t size)
{
    char sizeText[32];
    std::snprintf(sizeText, sizeof sizeText, "%" PRId64, size);
    return Line(ArchiveFormat::kFileTag) && Line(name) && Line(sizeText);
}

bool PayloadWriter::FileContent(const void* content, size_t length)
{
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
    uint8_t bytes[FileAttributeRecord::kSize];
    record.Encode(bytes);
    return Piece(bytes, sizeof bytes);
}

bool PayloadWriter::File(const char* name, const void* content, int64_t size, const FileAttributeRecord& record)
{
    return FileBegin(name, size) && FileContent(content, size > 0 ? static_cast<size_t>(size) : 0) && FileEnd(record);
}
